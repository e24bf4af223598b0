#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer into
# build-asan/ and runs both suites there, the addon loaded into Node with the
# sanitizer runtime preloaded. Leak checking is on. Fails on any sanitizer
# report, also one printed while a process exits with status 0 (a report from a
# pool thread during exit() can lose the race against the exit status).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export DESKCAP_BUILD_DIR=build-asan
DESKCAP_CMAKE_ARGS="-DDESKCAP_TESTS=ON -DDESKCAP_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo" node scripts/build.js

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:exitcode=66"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=66"

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
report='ERROR: (Address|Leak|Thread|Memory)Sanitizer|WARNING: ThreadSanitizer|: runtime error: '
clean() {
  if grep -Eq "$report" "$1"; then
    echo "sanitize: a sanitizer reported in $2:" >&2
    grep -E -A12 "$report" "$1" | head -60 >&2
    return 1
  fi
}

echo "== C++ tests (ASan+UBSan)"
ctest --test-dir build-asan --output-on-failure -j2
# Every test's full output, passed ones included.
clean build-asan/Testing/Temporary/LastTest.log "the C++ tests"

# Older Nodes lack the flag and run files one at a time.
concurrency=""
node --test-concurrency=2 -e 0 2>/dev/null && concurrency="--test-concurrency=2"

echo "== JavaScript tests (ASan+UBSan, runtime preloaded)"
# Children that print a report fail their own test (test/js/helpers/child.js);
# this catches the test files' own processes.
LD_PRELOAD="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)" \
  node --test $concurrency test/js/ 2>&1 | tee "$logs/js.log"
clean "$logs/js.log" "the JavaScript tests"
