# Benchmarks: built with the default target set, run by scripts/bench.sh in a
# Release tree of their own.
add_executable(png_bench ${CMAKE_SOURCE_DIR}/bench/png_bench.cc)
target_link_libraries(png_bench PRIVATE dc_core dc_screen dc_fake_base dc_fake_screen)

# captureDisplay on a real X server against the encode (bench/x11_bench.sh).
if(DESKCAP_XCB_FOUND)
  add_executable(x11_bench ${CMAKE_SOURCE_DIR}/bench/x11_bench.cc)
  target_link_libraries(x11_bench PRIVATE ${DESKCAP_PORTABLE} ${DESKCAP_PRODUCT_PLATFORM})
endif()
