find_package(GTest REQUIRED)
file(GLOB DESKCAP_TEST_SOURCES CONFIGURE_DEPENDS test/cpp/*.cc)
add_executable(deskcap_tests ${DESKCAP_TEST_SOURCES})
target_include_directories(deskcap_tests PRIVATE test/cpp)
target_link_libraries(deskcap_tests PRIVATE deskcap_platform_fake deskcap_core deskcap_platform_fake GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(deskcap_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

# Small helper libraries and programs the test suites load or run.
file(GLOB DESKCAP_TEST_HELPERS CONFIGURE_DEPENDS test/helpers/*.cmake)
foreach(helper ${DESKCAP_TEST_HELPERS})
  include(${helper})
endforeach()
