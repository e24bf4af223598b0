# Linux binaries that load wherever Node does: the C++ runtime and libgcc are
# linked in, and every call into the C library is bound, at link time, to the
# newest version glibc 2.28 has. The link goes against stand-ins holding only
# glibc 2.28's symbols (tools/glibc-floor.js, made from the toolchain's own C
# library); what the static runtime needs beyond them is in
# src/compat/glibc_floor.c. After each link the binary is checked, and the
# build fails when it needs more than the C library and zlib.
set(DESKCAP_GLIBC_FLOOR 2.28)
set(_floor_dir ${CMAKE_BINARY_DIR}/glibc-${DESKCAP_GLIBC_FLOOR})
if(NOT CMAKE_READELF)
  find_program(CMAKE_READELF readelf REQUIRED)
endif()
execute_process(
  COMMAND node ${CMAKE_SOURCE_DIR}/tools/glibc-floor.js stubs --cc ${CMAKE_C_COMPILER}
          --readelf ${CMAKE_READELF} --floor ${DESKCAP_GLIBC_FLOOR} --out ${_floor_dir}
  RESULT_VARIABLE _floor_rc OUTPUT_VARIABLE _floor_out ERROR_VARIABLE _floor_err)
if(NOT _floor_rc EQUAL 0)
  message(FATAL_ERROR "glibc ${DESKCAP_GLIBC_FLOOR} stand-ins could not be made: ${_floor_err}")
endif()
message(STATUS "${_floor_out}")

add_library(dc_glibc_floor OBJECT ${CMAKE_SOURCE_DIR}/src/compat/glibc_floor.c)

function(deskcap_prebuild_binary name)
  target_link_libraries(${name} PRIVATE dc_glibc_floor)
  # The stand-ins come first in the search path; libpthread and libdl are
  # asked for by name, since before glibc 2.34 their functions lived there.
  target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc -L${_floor_dir}
    LINKER:--no-as-needed -lpthread -ldl LINKER:--as-needed)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND node ${CMAKE_SOURCE_DIR}/tools/glibc-floor.js check --readelf ${CMAKE_READELF}
            --floor ${DESKCAP_GLIBC_FLOOR} --remove on-fault $<TARGET_FILE:${name}>
    VERBATIM)
endfunction()
