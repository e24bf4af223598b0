#!/usr/bin/env bash
# Every test: the layer order of src/'s includes (first: an upward include
# builds fine), C++ suites (ctest), JavaScript suites (node --test) against
# the product and testing addons, the package as a consumer installs it, and
# the macOS type check.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== Layer order of src/"
node tools/check-layers.js

DESKCAP_CMAKE_ARGS="-DDESKCAP_TESTS=ON ${DESKCAP_CMAKE_ARGS:-}" node scripts/build.js

echo "== C++ tests"
ctest --test-dir build --output-on-failure -j2

# Older Nodes lack the flag and run files one at a time.
concurrency=""
node --test-concurrency=2 -e 0 2>/dev/null && concurrency="--test-concurrency=2"

echo "== JavaScript tests"
node --test $concurrency test/js/

echo "== Package (npm run prebuild, npm pack, installs into fresh projects)"
node --test test/package/

echo "== macOS backend type check"
if [ -x scripts/check-macos.sh ]; then
  bash scripts/check-macos.sh
  [ -x scripts/check-macos-selftest.sh ] && bash scripts/check-macos-selftest.sh
fi
