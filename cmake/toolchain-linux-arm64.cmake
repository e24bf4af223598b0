# Cross-compiling the Linux arm64 binaries on an x64 Debian machine with
# Debian's aarch64 toolchain (g++-aarch64-linux-gnu) and its multiarch zlib
# (zlib1g-dev:arm64). The xcb and libpulse headers are the host's: they are
# the same on every architecture, and the binaries open the libraries at run
# time, so nothing of them is linked.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
