// The allocator of the blocks handed across the C boundary.
#include <cstdlib>

#include "platform/platform.h"

namespace deskcap::platform {

// The C boundary's blocks are released with free(). macOS's malloc(0) answers
// a unique pointer, so an empty block is never mistaken for a failure.
void* boundary_malloc(size_t size) { return std::malloc(size); }

}  // namespace deskcap::platform
