// CoreAudio HAL properties (the per-process audio objects of macOS 14) and
// their listeners.
//
// Where listeners are called:
// - AudioHardwareDeprecated.h (macOS SDK), kAudioHardwarePropertyRunLoop: "In
//   10.6 and later, the HAL will use the process's run loop (as defined by
//   CFRunLoopGetMain()) for this task ... If the value for this property is
//   set to NULL, the HAL will return to its pre-10.6 behavior of creating and
//   managing its own thread for notifications."
// - So in a plain node host, whose main thread never turns its run loop,
//   listeners would never run. Mozilla sets the property to NULL once per
//   process for that reason ("If we don't do that, they are not called, or a
//   crash occur, depending on the OSX version": mozilla/cubeb
//   src/cubeb_osx_run_loop.cpp, Firefox dom/media/systemservices/
//   OSXRunLoopSingleton.cpp), as do RtAudio (RtApiCore's constructor: "a
//   largely undocumented but absolutely necessary requirement starting with
//   OS-X 10.6") and SuperCollider (SC_CoreAudio.cpp, after
//   http://lists.apple.com/archives/coreaudio-api/2010/Aug/msg00114.html).
// - With it NULL, calls come on a thread of the HAL's, as seen in
//   rnine/SimplyCoreAudio#74 (a listener under HALSystem::PropertiesChanged
//   off the main thread) and allowed for by Chromium's
//   media/audio/mac/audio_device_listener_mac.cc ("This call can come from a
//   different thread"). The property is the process's: in Electron, Chromium's
//   own listeners then come on that thread too, which that file already copes
//   with by posting to its own thread.
// - Nothing public speaks of the process list ('prs#') or a process's
//   "is running input" ('piri') in particular; they are plain properties of
//   the system object and of the process objects, told through the same
//   notifications. Unconfirmed on a Mac.
//
// Whether AudioObjectRemovePropertyListener waits for a call in progress is
// not documented. Chromium's listener defers its own deletion by a second "in
// case there is a notification in progress on another thread" and warns that
// a lock around it "will likely lead to a deadlock around
// AudioObjectRemovePropertyListener"; mozilla/cubeb#293 found (un)registering
// system listeners prone to deadlock. Hence the HAL is handed a record that is
// never freed (registrations_macos.h), no lock of the backend's is held while
// calling the HAL, and the HAL's call only reads the record's flag.
#import <CoreAudio/CoreAudio.h>
#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include <atomic>
#include <mutex>

#include "platform/macos/base_macos.h"
#include "platform/macos/registrations_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

namespace {

AudioObjectPropertyAddress AudioAddress(const PropertyAddress& address) {
  return AudioObjectPropertyAddress{address.selector, address.scope, address.element};
}

struct ListenerKey {
  uint32_t object;
  PropertyAddress address;
  PropertyListener listener;
  void* context;
  bool operator==(const ListenerKey& o) const {
    return object == o.object && address.selector == o.address.selector &&
           address.scope == o.address.scope && address.element == o.address.element &&
           listener == o.listener && context == o.context;
  }
};
using Listeners = macos::Registrations<ListenerKey>;

struct Registry {
  std::mutex lock;
  Listeners listeners;
};

// Never destroyed: the HAL may call through a record at any time.
Registry& registry() {
  static Registry& r = *new Registry;
  return r;
}

// Changes may come several to a call; the seam's listener hears of them once,
// under the address it was added for.
OSStatus Trampoline(AudioObjectID, UInt32, const AudioObjectPropertyAddress*, void* client) {
  auto* record = static_cast<Listeners::Record*>(client);
  if (record == nullptr || !record->active.load(std::memory_order_acquire)) return noErr;
  const ListenerKey& key = record->key;
  try {
    key.listener(key.object, key.address, key.context);
  } catch (...) {
    // The listener's exception stops at the HAL's edge.
  }
  return noErr;
}

// Once per process, before the first listener: see the top of this file.
void UseTheHalsOwnThread() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  AudioObjectPropertyAddress address{kAudioHardwarePropertyRunLoop, coreaudio::kScopeGlobal,
                                     coreaudio::kElementMain};
  CFRunLoopRef none = nullptr;
  AudioObjectSetPropertyData(coreaudio::kSystemObject, &address, 0, nullptr, sizeof(none), &none);
}

}  // namespace

bool audio_object_has_property(uint32_t object, const PropertyAddress& address) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectHasProperty(object, &audio_address) != 0;
}

int32_t audio_object_get_property_data_size(uint32_t object, const PropertyAddress& address,
                                            uint32_t* size) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectGetPropertyDataSize(object, &audio_address, 0, nullptr, size);
}

int32_t audio_object_get_property_data(uint32_t object, const PropertyAddress& address,
                                       uint32_t* io_size, void* data) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectGetPropertyData(object, &audio_address, 0, nullptr, io_size, data);
}

int32_t audio_object_get_property_string(uint32_t object, const PropertyAddress& address,
                                         std::optional<std::string>* value) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  CFStringRef string = nullptr;
  UInt32 size = sizeof(string);
  OSStatus status = AudioObjectGetPropertyData(object, &audio_address, 0, nullptr, &size, &string);
  // The HAL hands string properties over with a reference the caller owns.
  NSString* owned = CFBridgingRelease(string);
  if (owned != nil && value != nullptr) *value = macos::Utf8(owned);
  return status;
}

int32_t audio_object_add_listener(uint32_t object, const PropertyAddress& address,
                                  PropertyListener listener, void* context) {
  if (listener == nullptr) return coreaudio::kUnknownProperty;
  UseTheHalsOwnThread();
  Registry& r = registry();
  const ListenerKey key{object, address, listener, context};
  Listeners::Record* record = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    bool added = false;
    record = r.listeners.activate(key, &added);
    if (record == nullptr) return kAudioHardwareUnspecifiedError;
    if (!added) return noErr;  // one HAL registration for the same four
  }
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  OSStatus status = AudioObjectAddPropertyListener(object, &audio_address, Trampoline, record);
  if (status != noErr) {
    std::lock_guard<std::mutex> guard(r.lock);
    r.listeners.deactivate(key);
  }
  return status;
}

int32_t audio_object_remove_listener(uint32_t object, const PropertyAddress& address,
                                     PropertyListener listener, void* context) {
  Registry& r = registry();
  Listeners::Record* record = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    record = r.listeners.deactivate(ListenerKey{object, address, listener, context});
  }
  if (record == nullptr) return coreaudio::kUnknownProperty;
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectRemovePropertyListener(object, &audio_address, Trampoline, record);
}

}  // namespace deskcap::platform
