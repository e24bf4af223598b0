// IOKit: matching services in the I/O Registry and reading their properties.
// Also the mach types it is written in.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef unsigned int mach_port_t;
typedef int kern_return_t;
#define KERN_SUCCESS 0

typedef mach_port_t io_object_t;
typedef io_object_t io_iterator_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_service_t;
typedef UInt32 IOOptionBits;

// The default main port (kIOMasterPortDefault before macOS 12).
DC_EXTERN_C const mach_port_t kIOMainPortDefault DC_AVAILABLE_MACOS(12.0);
DC_EXTERN_C const mach_port_t kIOMasterPortDefault DC_DEPRECATED("Use kIOMainPortDefault instead.");

// IOKitLib.h carries no nullability annotations: every pointer is unspecified.
DC_EXTERN_C CF_RETURNS_RETAINED CFMutableDictionaryRef IOServiceMatching(const char* name);
// Consumes one reference of `matching`, whatever it answers.
DC_EXTERN_C kern_return_t IOServiceGetMatchingServices(
    mach_port_t mainPort, CF_RELEASES_ARGUMENT CFDictionaryRef matching,
    io_iterator_t* existing);
DC_EXTERN_C io_object_t IOIteratorNext(io_iterator_t iterator);
DC_EXTERN_C CF_RETURNS_RETAINED CFTypeRef IORegistryEntryCreateCFProperty(
    io_registry_entry_t entry, CFStringRef key, CFAllocatorRef allocator, IOOptionBits options);
DC_EXTERN_C kern_return_t IOObjectRelease(io_object_t object);
