# Stand-ins for the private TCC framework, opened with dlopen by the desktop
# services in tests (test/tcc/fake_tcc.c): one with both functions, one
# without TCCAccessRequest.
add_library(fake_tcc SHARED ${CMAKE_SOURCE_DIR}/test/tcc/fake_tcc.c)
add_library(fake_tcc_no_request SHARED ${CMAKE_SOURCE_DIR}/test/tcc/fake_tcc.c)
target_compile_definitions(fake_tcc_no_request PRIVATE FAKE_TCC_NO_REQUEST)
foreach(lib fake_tcc fake_tcc_no_request)
  set_target_properties(${lib} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_libraries(${lib} PRIVATE Threads::Threads)
endforeach()

# The TCC handle is opened once per process, so each library path gets a
# process of its own: test_desktop uses fake_tcc, and two small programs cover
# the library without a request function and no library at all.
if(TARGET test_desktop)
  target_compile_definitions(test_desktop PRIVATE FAKE_TCC_LIBRARY="$<TARGET_FILE:fake_tcc>")
  add_dependencies(test_desktop fake_tcc)
endif()
foreach(variant no_request missing)
  add_executable(test_desktop_tcc_${variant} ${CMAKE_SOURCE_DIR}/test/tcc/tcc_${variant}_test.cc)
  target_link_libraries(test_desktop_tcc_${variant} PRIVATE dc_core dc_boundary dc_desktop dc_fake_base dc_platform_shared
    dc_fake_desktop dc_fake_screen GTest::gtest GTest::gtest_main)
  target_compile_definitions(test_desktop_tcc_${variant} PRIVATE
    FAKE_TCC_NO_REQUEST_LIBRARY="$<TARGET_FILE:fake_tcc_no_request>")
  add_dependencies(test_desktop_tcc_${variant} fake_tcc_no_request)
  add_test(NAME desktop_tcc_${variant} COMMAND test_desktop_tcc_${variant})
  set_tests_properties(desktop_tcc_${variant} PROPERTIES TIMEOUT 120)
endforeach()
