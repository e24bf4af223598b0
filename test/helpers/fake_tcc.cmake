# The scripted TCC libraries (built with the testing addon, CMakeLists.txt)
# in the C++ suites.
# The TCC handle is opened once per process, so each library path gets a
# process of its own: test_desktop uses fake_tcc, and a small program covers
# no library at all (the library without a request function: test/js).
if(TARGET test_desktop)
  target_compile_definitions(test_desktop PRIVATE FAKE_TCC_LIBRARY="$<TARGET_FILE:fake_tcc>")
  add_dependencies(test_desktop fake_tcc)
endif()
add_executable(test_desktop_tcc_missing ${CMAKE_SOURCE_DIR}/test/tcc/tcc_missing_test.cc)
target_link_libraries(test_desktop_tcc_missing PRIVATE dc_core dc_boundary dc_screen dc_desktop dc_fake_base dc_platform_shared
  dc_fake_desktop dc_fake_screen GTest::gtest GTest::gtest_main)
target_compile_definitions(test_desktop_tcc_missing PRIVATE
  FAKE_TCC_NO_REQUEST_LIBRARY="$<TARGET_FILE:fake_tcc_no_request>")
add_dependencies(test_desktop_tcc_missing fake_tcc_no_request)
add_test(NAME desktop_tcc_missing COMMAND test_desktop_tcc_missing)
set_tests_properties(desktop_tcc_missing PROPERTIES TIMEOUT 120)
