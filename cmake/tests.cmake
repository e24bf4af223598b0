find_package(PNG REQUIRED)
find_package(GTest REQUIRED)
include(GoogleTest)

# One test binary per component: test/cpp/<component>_*.cc, linked with the
# components and fake-world parts it needs.
function(deskcap_test component)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/test/cpp/${component}_*.cc)
  if(NOT _src)
    return()
  endif()
  add_executable(test_${component} ${_src})
  target_include_directories(test_${component} PRIVATE ${CMAKE_SOURCE_DIR}/test/cpp)
  target_link_libraries(test_${component} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(test_${component} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

deskcap_test(core dc_core dc_fake_base)
deskcap_test(boundary dc_core dc_boundary dc_fake_base)
# libpng decodes the encoder's output as an outside reader.
deskcap_test(screen dc_core dc_screen dc_fake_base dc_fake_screen dc_platform_shared PNG::PNG)
deskcap_test(phone dc_core dc_boundary dc_phone dc_screen dc_desktop dc_watch dc_testing dc_fake_base dc_fake_phone dc_platform_shared dc_fake_screen dc_fake_desktop)
deskcap_test(desktop dc_core dc_boundary dc_desktop dc_phone dc_screen dc_watch dc_testing dc_fake_base dc_fake_desktop dc_fake_phone dc_fake_screen dc_platform_shared)
deskcap_test(linux ${DESKCAP_PORTABLE} ${DESKCAP_PRODUCT_PLATFORM})
# The product opens libxcb at run time; the test makes its windows with it directly.
if(TARGET test_linux AND DESKCAP_XCB_FOUND)
  target_link_libraries(test_linux PRIVATE PkgConfig::DESKCAP_XCB)
endif()
# The display watch test starts Xorg with the repository's test/fixtures/xorg-dummy.conf.
if(TARGET test_linux)
  target_compile_definitions(test_linux PRIVATE DESKCAP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()

# Small helper libraries and programs the suites load or run (test/helpers/*.cmake).
file(GLOB _helpers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/test/helpers/*.cmake)
foreach(helper ${_helpers})
  include(${helper})
endforeach()
