#!/usr/bin/env bash
# captureDisplay on a private 2880x1800 Xvfb vs the encode of the same pixels,
# then the output formats (bench/output_bench.js) and the streams
# (bench/stream_bench.js) on the same screen.
# Usage: bench/x11_bench.sh [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
if [ "$(uname -s)" != Linux ] || ! command -v Xvfb >/dev/null; then
  echo "x11 capture vs encode: skipped (needs Linux and Xvfb)"
  exit 0
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDESKCAP_TESTS=OFF -DDESKCAP_BENCH=ON >/dev/null
if ! grep -q '^DESKCAP_XCB_FOUND:INTERNAL=1' "$build/CMakeCache.txt"; then
  echo "x11 capture vs encode: skipped (built without the xcb development packages)"
  exit 0
fi
cmake --build "$build" --target x11_bench deskcap --parallel "$(nproc 2>/dev/null || echo 2)" >/dev/null
fifo="$(mktemp -u)"
mkfifo "$fifo"
exec 3<>"$fifo"
rm -f "$fifo"
Xvfb -displayfd 3 -screen 0 2880x1800x24 -noreset -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
read -r -t 10 number <&3
DISPLAY=":$number" "$build/x11_bench" "$@"
# The output formats through the product addon, the picture held up meanwhile.
coproc PAINTER { DISPLAY=":$number" exec "$build/x11_bench" --hold; }
read -r -t 30 painted <&"${PAINTER[0]}"
DISPLAY=":$number" node "$root/bench/output_bench.js" "$build" "$@"
eval "exec ${PAINTER[1]}>&-"
wait "$PAINTER_PID" 2>/dev/null || true
# Streams, the picture changing meanwhile.
coproc PAINTER { DISPLAY=":$number" exec "$build/x11_bench" --animate; }
read -r -t 30 painted <&"${PAINTER[0]}"
DISPLAY=":$number" node "$root/bench/stream_bench.js" "$build"
eval "exec ${PAINTER[1]}>&-"
wait "$PAINTER_PID" 2>/dev/null || true
