// The fake ImageIO writes its PNGs with the product's own encoder, so that the
// testing addon loads where no PNG library is installed. Installed when the
// testing layer is loaded, before any world can run.
#include "platform/fake/phone_fake.h"
#include "screen/png_encoder.h"

namespace deskcap::testing {
namespace {

bool write_png(const uint8_t* rgba, size_t length, uint32_t width, uint32_t height, std::vector<uint8_t>* png) {
  return encode_png(rgba, length, width, height, png).ok();
}

const bool installed = (fake::set_png_writer(write_png), true);

}  // namespace
}  // namespace deskcap::testing
