// libpulse, opened at first use (so the addon loads where no sound server is
// installed) and reached through pulse_calls_linux.h, which points each call
// at a member here.
#pragma once

#include <pulse/pulseaudio.h>

// Every function the backend calls.
#define DESKCAP_PULSE_FUNCTIONS(X)                                                              \
  X(pa_context_connect) X(pa_context_disconnect) X(pa_context_get_source_output_info_list)      \
  X(pa_context_get_state) X(pa_context_new) X(pa_context_set_state_callback)                    \
  X(pa_context_set_subscribe_callback) X(pa_context_subscribe) X(pa_context_unref)              \
  X(pa_mainloop_dispatch) X(pa_mainloop_free) X(pa_mainloop_get_api) X(pa_mainloop_new)         \
  X(pa_mainloop_poll) X(pa_mainloop_prepare) X(pa_mainloop_quit) X(pa_mainloop_run)             \
  X(pa_operation_cancel) X(pa_operation_unref) X(pa_proplist_gets)

namespace deskcap::linux_backend::pulse {

#define DESKCAP_PULSE_POINTER(name) decltype(&::name) name = nullptr;

struct PulseLibrary {
  // libpulse.so.0: without it (or any of its functions listed) every pointer
  // here is null and no sound server is reachable.
  bool loaded = false;
  DESKCAP_PULSE_FUNCTIONS(DESKCAP_PULSE_POINTER)
};

#undef DESKCAP_PULSE_POINTER

// Loaded on the first call, from any thread; never unloaded.
const PulseLibrary& pulse_library();

}  // namespace deskcap::linux_backend::pulse
