// The one way through the C boundary: every extern "C" function runs its body
// here, so no exception ever crosses into C. A failure gives the function's own
// "no result" answer (NULL, -1, 0 or a status), as memory exhaustion would.
#pragma once

#include <utility>

namespace deskcap {

template <class R, class Body>
R guarded(R on_failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return on_failure;
  }
}

template <class Body>
void guarded(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace deskcap
