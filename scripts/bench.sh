#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs the PNG benchmark.
# Usage: scripts/bench.sh [runs]   (median over `runs` encodes, default 9)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDESKCAP_TESTS=OFF >/dev/null
cmake --build "$build" --target png_bench --parallel "$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "Host: $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //' || uname -m), $(nproc 2>/dev/null || echo '?') CPUs"
"$build/png_bench" "$@"
bash "$root/bench/x11_bench.sh" "$@"
