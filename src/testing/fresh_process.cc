#include "testing/fresh_process.h"

#include "boundary/native.h"
#include "desktop/tcc_framework.h"
#include "phone/phone_state.h"

namespace deskcap::testing {

void forget_process_state() {
  {
    phone::EnableState& s = phone::enable_state();
    std::lock_guard<std::mutex> lock(s.lock);
    s.enabled = false;
  }
  {
    phone::ListingState& s = phone::listing_state();
    std::lock_guard<std::mutex> lock(s.lock);
    s.last_landscape.reset();
    s.last_found.reset();
  }
  {
    phone::WatchState& s = phone::watch_state();
    std::vector<phone::KnownEntry> dropped;
    {
      std::lock_guard<std::mutex> lock(s.known_lock);
      dropped.swap(s.known);
    }
    platform::release(s.session.exchange(nullptr));
    // Old once-tokens stay alive: a racing caller may still hold one.
    s.once.store(&s.tokens.emplace_back());
  }
  {
    native::TccFramework& t = native::tcc_framework();
    t.handle.store(nullptr);  // never closed, as in the product
    t.once.store(&t.tokens.emplace_back());
  }
  native_free(ios_take_log());
}

}  // namespace deskcap::testing
