# The product's platform backend on macOS: Objective-C++ with ARC over Apple's
# frameworks (src/platform/macos). Included from CMakeLists.txt on Apple
# platforms only; Linux builds never read this file.

enable_language(OBJCXX)

# The frameworks the backend needs are macOS 14 APIs (SCScreenshotManager,
# AVCaptureDeviceTypeExternal, SCContentFilter.pointPixelScale).
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET)
  message(STATUS "deskcap: CMAKE_OSX_DEPLOYMENT_TARGET is not set, so the addon targets "
    "this Mac's macOS version; pass -DCMAKE_OSX_DEPLOYMENT_TARGET=14.0 for one that "
    "loads on every supported Mac")
elseif(CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS 14.0)
  message(FATAL_ERROR "deskcap needs macOS 14.0 or later "
    "(CMAKE_OSX_DEPLOYMENT_TARGET is ${CMAKE_OSX_DEPLOYMENT_TARGET})")
endif()

deskcap_component(dc_macos src/platform/macos/*.mm)
set_target_properties(dc_macos PROPERTIES
  OBJCXX_STANDARD 20
  OBJCXX_STANDARD_REQUIRED ON)
target_compile_options(dc_macos PRIVATE
  $<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-arc>
  # A framework call newer than the deployment target must sit behind @available.
  $<$<COMPILE_LANGUAGE:OBJCXX>:-Werror=unguarded-availability-new>)

# Linked by whatever links dc_macos (the deskcap module).
foreach(framework IN ITEMS
    Foundation AppKit CoreFoundation CoreGraphics ScreenCaptureKit AVFoundation
    CoreMedia CoreMediaIO CoreVideo CoreImage ImageIO IOKit CoreAudio)
  target_link_libraries(dc_macos INTERFACE "-framework ${framework}")
endforeach()

set(DESKCAP_PRODUCT_PLATFORM dc_macos)
