// Calls into the private TCC framework, whose functions the system looks up
// itself with dlopen/dlsym. Apple documents none of this: the shapes below are
// the ones this system relies on, and a Mac is the only place to confirm them.
//
// What TCCAccessPreflight answers, as far as public sources go:
// - WebKit's Source/WebCore/PAL/pal/spi/cocoa/TCCSPI.h, Apple's own stand-in
//   for the private header, names two results: kTCCAccessPreflightGranted (0)
//   and kTCCAccessPreflightDenied (1). Nothing of Apple's names a third.
// - 2 for "not determined" comes only from third-party code, mostly about
//   kTCCServiceAudioCapture. The one use with kTCCServiceScreenCapture found
//   (a tccd attribution probe script) maps 0/1/2 to granted/denied/not
//   determined for every service it asks, as an assumption it does not check.
//   Other public code disagrees on the numbering altogether (one Swift enum
//   has denied 0, granted 1, unknown 2), so it was not taken from there.
// - No source says whether a Screen Recording state that was never asked
//   for answers 2 or 1; nor whether the answer is cached for the life of the
//   asking process, which one third-party note claims for the audio service.
// So ScreenCapture is read with the same numbering as AudioCapture, which
// only a Mac can confirm.
#import <CoreFoundation/CoreFoundation.h>

#include "platform/platform.h"

namespace deskcap::platform {

namespace {

using PreflightFunction = int (*)(CFStringRef service, CFDictionaryRef options);
using RequestFunction = void (*)(CFStringRef service, CFDictionaryRef options,
                                 void (^completion)(Boolean granted));

}  // namespace

const char* tcc_framework_path() {
  return "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";
}

int64_t tcc_call_preflight(void* function, TccService service) {
  if (function == nullptr) return -1;
  auto preflight = reinterpret_cast<PreflightFunction>(function);
  // System audio capture (CoreAudio process taps, macOS 14.2+) or Screen Recording.
  return preflight(service == TccService::ScreenCapture ? CFSTR("kTCCServiceScreenCapture")
                                                        : CFSTR("kTCCServiceAudioCapture"),
                   nullptr);
}

void tcc_call_request(void* function, void* context, AccessCallback completion) {
  if (function == nullptr) {
    completion(context, false);
    return;
  }
  auto request = reinterpret_cast<RequestFunction>(function);
  // A heap block (ARC copies it on assignment): TCC may call it after this
  // returns, from a thread of its own.
  void (^done)(Boolean) = ^(Boolean granted) {
    completion(context, granted != 0);
  };
  request(CFSTR("kTCCServiceAudioCapture"), nullptr, done);
}

}  // namespace deskcap::platform
