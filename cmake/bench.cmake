# Benchmarks, built when DESKCAP_BENCH is on (scripts/bench.sh, in a Release
# tree of its own).
add_executable(png_bench ${CMAKE_SOURCE_DIR}/bench/png_bench.cc)
target_link_libraries(png_bench PRIVATE dc_core dc_screen dc_fake_base dc_fake_screen)
