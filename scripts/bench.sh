#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them; each prints
# its figures, then its ratios on lines of their own ("name: value").
# Usage: scripts/bench.sh [runs]   (encoder: median over `runs` encodes, default 9)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDESKCAP_BENCH=ON >/dev/null
cmake --build "$build" --target png_bench bench_addon deskcap_testing \
  --parallel "$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "Host: $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //' || uname -m), $(nproc 2>/dev/null || echo '?') CPUs"

# PNG encoder against libpng, in one C++ process (the system's zlib for both).
"$build/png_bench" "$@"
# Capture path and Promise frame inside Node (Node's own zlib).
node "$root/bench/capture_bench.js" "$build"
bash "$root/bench/x11_bench.sh" "$@"
