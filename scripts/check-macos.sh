#!/usr/bin/env bash
# Type-checks the macOS backend without an Apple SDK.
#
# clang parses every Objective-C++ file of the backend against tools/apple-decls
# (hand-written declarations of exactly the Apple API the backend uses), with
# ARC and blocks on and the warnings that catch wrong selectors, types and
# deprecated calls turned into errors. Then every function of the platform seam
# (src/platform/platform.h) must have exactly one definition in the backend.
#
#   scripts/check-macos.sh                   the whole backend, with seam coverage
#   scripts/check-macos.sh --backend DIR     another copy of the backend, likewise
#   scripts/check-macos.sh FILE...           these files only, no coverage
#   --coverage-only                          skip the type check (with --backend)
#
# Exits non-zero on the first kind of failure it finds, after reporting all
# files. CLANGXX picks the compiler (default clang++).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cxx="${CLANGXX:-clang++}"
backend="$root/src/platform/macos"
files=()
types=1

while [[ $# -gt 0 ]]; do
  case "$1" in
    --backend)
      backend="$(cd "$2" && pwd)"
      shift 2
      ;;
    --coverage-only)
      types=0
      shift
      ;;
    -h | --help)
      sed -n '2,16p' "$0"
      exit 0
      ;;
    *)
      files+=("$1")
      shift
      ;;
  esac
done

coverage=1
if [[ ${#files[@]} -gt 0 ]]; then
  coverage=0
else
  shopt -s nullglob
  files=("$backend"/*.mm "$backend"/*.cc "$backend"/*.h)
  shopt -u nullglob
  if [[ ${#files[@]} -eq 0 ]]; then
    echo "check-macos: no sources in $backend" >&2
    exit 1
  fi
fi

if ! command -v "$cxx" > /dev/null; then
  echo "check-macos: $cxx not found (install clang)" >&2
  exit 1
fi

# The host target with the host's C++ library: an Apple target would not mix
# with glibc's headers, and macOS availability attributes are therefore inert.
# Deprecations are plain attributes in apple-decls so that they still bite.
common=(
  -fsyntax-only -std=c++20
  -fobjc-runtime=macosx-14.0 -fobjc-arc -fblocks
  -I "$root/tools/apple-decls" -I "$root/src" -I "$root"
)
warnings=(
  -Werror -Wall -Wextra -Wno-unused-parameter
  -Wobjc-method-access -Wundeclared-selector -Wstrict-selector-match
  -Wincompatible-pointer-types -Wint-conversion -Wshorten-64-to-32
  -Wdeprecated-declarations -Wnullable-to-nonnull-conversion
  -Wobjc-missing-super-calls -Wimplicit-retain-self -Wbridge-cast
  -Wmissing-prototypes -Wmissing-variable-declarations
)

files_to_check=("${files[@]}")

language_of() {
  case "$1" in
    *.mm) echo objective-c++ ;;
    *.h) echo objective-c++-header ;;
    *) echo c++ ;;
  esac
}

failed=0
[[ $types -eq 1 ]] || files_to_check=()
for file in "${files_to_check[@]}"; do
  if "$cxx" -x "$(language_of "$file")" "${common[@]}" "${warnings[@]}" "$file"; then
    echo "ok    ${file#"$root"/}"
  else
    echo "FAIL  ${file#"$root"/}"
    failed=1
  fi
done
if [[ $failed -ne 0 ]]; then
  echo "check-macos: type check failed" >&2
  exit 1
fi

if [[ $coverage -eq 1 ]]; then
  sources=()
  for file in "${files[@]}"; do
    [[ "$file" == *.h ]] || sources+=("$file")
  done
  node "$root/scripts/check-macos-coverage.js" --cxx "$cxx" --root "$root" -- \
    "${common[@]}" -- "${sources[@]}"
fi
echo "check-macos: all checks passed"
