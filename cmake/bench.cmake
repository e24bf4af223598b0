find_package(PNG REQUIRED)
# Benchmarks, built when DESKCAP_BENCH is on (scripts/bench.sh, in a Release
# tree of its own).
add_executable(png_bench ${CMAKE_SOURCE_DIR}/bench/png_bench.cc)
target_link_libraries(png_bench PRIVATE dc_core dc_screen dc_fake_base dc_fake_screen dc_platform_shared PNG::PNG)
# The yardsticks of bench/capture_bench.js (encoder alone, bare Promise round trip).
add_library(bench_addon MODULE ${CMAKE_SOURCE_DIR}/bench/bench_addon.cc)
set_target_properties(bench_addon PROPERTIES PREFIX "" SUFFIX ".node"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(bench_addon PRIVATE ${NODE_API_INCLUDE_DIR})
target_compile_definitions(bench_addon PRIVATE NAPI_VERSION=8)
target_link_libraries(bench_addon PRIVATE dc_core dc_screen dc_fake_base dc_fake_screen dc_platform_shared)
if(APPLE)
  target_link_options(bench_addon PRIVATE -undefined dynamic_lookup)
endif()

# captureDisplay on a real X server against the encode (bench/x11_bench.sh).
if(DESKCAP_XCB_FOUND)
  add_executable(x11_bench ${CMAKE_SOURCE_DIR}/bench/x11_bench.cc)
  # The bench paints its window through libxcb itself; the backend under test
  # still loads it at first use.
  target_link_libraries(x11_bench PRIVATE ${DESKCAP_PORTABLE} ${DESKCAP_PRODUCT_PLATFORM} PkgConfig::DESKCAP_XCB)
endif()
