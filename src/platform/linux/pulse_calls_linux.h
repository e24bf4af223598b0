// Included by the pulse backend after libpulse's headers: each libpulse
// function it calls becomes the pointer pulse_library_linux.h loaded, so the
// call sites read as plain libpulse.
#pragma once

#include "platform/linux/pulse_library_linux.h"

#define DESKCAP_PULSE(name) (::deskcap::linux_backend::pulse::pulse_library().name)

#define pa_context_connect DESKCAP_PULSE(pa_context_connect)
#define pa_context_disconnect DESKCAP_PULSE(pa_context_disconnect)
#define pa_context_get_source_output_info_list DESKCAP_PULSE(pa_context_get_source_output_info_list)
#define pa_context_get_state DESKCAP_PULSE(pa_context_get_state)
#define pa_context_new DESKCAP_PULSE(pa_context_new)
#define pa_context_set_state_callback DESKCAP_PULSE(pa_context_set_state_callback)
#define pa_context_set_subscribe_callback DESKCAP_PULSE(pa_context_set_subscribe_callback)
#define pa_context_subscribe DESKCAP_PULSE(pa_context_subscribe)
#define pa_context_unref DESKCAP_PULSE(pa_context_unref)
#define pa_mainloop_dispatch DESKCAP_PULSE(pa_mainloop_dispatch)
#define pa_mainloop_free DESKCAP_PULSE(pa_mainloop_free)
#define pa_mainloop_get_api DESKCAP_PULSE(pa_mainloop_get_api)
#define pa_mainloop_new DESKCAP_PULSE(pa_mainloop_new)
#define pa_mainloop_poll DESKCAP_PULSE(pa_mainloop_poll)
#define pa_mainloop_prepare DESKCAP_PULSE(pa_mainloop_prepare)
#define pa_mainloop_quit DESKCAP_PULSE(pa_mainloop_quit)
#define pa_mainloop_run DESKCAP_PULSE(pa_mainloop_run)
#define pa_operation_cancel DESKCAP_PULSE(pa_operation_cancel)
#define pa_operation_unref DESKCAP_PULSE(pa_operation_unref)
#define pa_proplist_gets DESKCAP_PULSE(pa_proplist_gets)

// A function listed in pulse_library_linux.h but not above would still reach
// libpulse's own symbol, linked or not: every one must be defined here.
#define DESKCAP_PULSE_TEXT(...) #__VA_ARGS__
#define DESKCAP_PULSE_EXPANDED(name) DESKCAP_PULSE_TEXT(name)
#define DESKCAP_PULSE_REDIRECTED(name) \
  static_assert(DESKCAP_PULSE_EXPANDED(name)[0] == '(', #name " is not redirected to the loaded library");
DESKCAP_PULSE_FUNCTIONS(DESKCAP_PULSE_REDIRECTED)
