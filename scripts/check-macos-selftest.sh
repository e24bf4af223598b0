#!/usr/bin/env bash
# Shows that scripts/check-macos.sh catches the mistakes it exists for: each
# case copies a backend file (or the whole backend) to a temporary directory,
# plants one mistake, and expects the check to fail; the pristine copies must
# pass. Then runs the backend's plain C++ logic, which needs no Mac
# (src/platform/macos/tests). Ends with "N passed, N failed".
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
check="$root/scripts/check-macos.sh"
backend="$root/src/platform/macos"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
log="$work/check.log"

# mutate FILE FROM TO OUT: OUT is FILE with the first FROM (a literal string,
# possibly spanning lines) replaced by TO. Fails when FROM is not in FILE, so a
# case cannot silently test the pristine file.
mutate() {
  node -e '
    const fs = require("fs");
    const [file, from, to, out] = process.argv.slice(1);
    const text = fs.readFileSync(file, "utf8");
    if (!text.includes(from)) {
      console.error(`pattern not found in ${file}: ${from}`);
      process.exit(1);
    }
    fs.writeFileSync(out, text.replace(from, () => to));
  ' "$@"
}

# expect pass|fail NAME REASON COMMAND...: a failure counts only when the
# check's output holds REASON (an extended regular expression), so that a case
# cannot pass by failing for some other cause.
expect() {
  local want="$1" name="$2" reason="$3"
  shift 3
  local got=fail
  if "$@" > "$log" 2>&1; then got=pass; fi
  if [[ "$got" == fail && -n "$reason" ]] && ! grep -Eq -- "$reason" "$log"; then
    got="fail for another reason"
  fi
  if [[ "$got" == "$want" ]]; then
    echo "ok   - $name (check: $got)"
    passed=$((passed + 1))
  else
    echo "FAIL - $name (wanted the check to $want, it did $got)"
    sed 's/^/       /' "$log" | tail -n 15
    failed=$((failed + 1))
  fi
}

# A case whose mutation itself failed counts as a failure of the self-test.
case_file() {
  local want="$1" name="$2" source="$3" from="$4" to="$5" reason="${6:-}"
  local out="$work/$(basename "$source")"
  if ! mutate "$backend/$source" "$from" "$to" "$out" 2> "$log"; then
    echo "FAIL - $name (could not plant the mistake)"
    sed 's/^/       /' "$log"
    failed=$((failed + 1))
    return
  fi
  expect "$want" "$name" "$reason" "$check" "$out"
  rm -f "$out"
}

echo "# pristine copies pass"
for file in screen_content_macos.mm phone_devices_macos.mm desktop_windows_macos.mm \
  screen_displays_macos.mm base_time_macos.mm screen_reconfiguration_macos.mm \
  desktop_audio_macos.mm screen_stream_macos.mm; do
  case_file pass "pristine $file" "$file" "" ""
done
cp -R "$backend" "$work/backend"
expect pass "pristine backend with seam coverage" "" "$check" --backend "$work/backend"

echo "# misspelt selectors and properties"
case_file fail "misspelt class-method selector" screen_content_macos.mm \
  "captureImageWithFilter:" "captureImageWithFiltr:" \
  "no known class method for selector 'captureImageWithFiltr:"
case_file fail "misspelt property" screen_content_macos.mm \
  ".pointPixelScale" ".pointPixelscale" "property 'pointPixelscale' not found"
case_file fail "misspelt instance-method selector" phone_devices_macos.mm \
  "hasMediaType:" "hasMediaTypes:" "selector 'hasMediaTypes:'"

echo "# wrong argument types"
case_file fail "an SCDisplay where an SCWindow is wanted" screen_content_macos.mm \
  "initWithDesktopIndependentWindow:Borrow<SCWindow*>(window)" \
  "initWithDesktopIndependentWindow:Borrow<SCDisplay*>(window)" \
  "parameter of type 'SCWindow \\*.*'SCDisplay \\*'"
case_file fail "a CFArrayRef where a CFDictionaryRef is wanted" desktop_windows_macos.mm \
  "(__bridge CFDictionaryRef)bounds" "(__bridge CFArrayRef)bounds" "CFArrayRef"
case_file fail "the seam's Rect where a CGRect is wanted" screen_content_macos.mm \
  "CGRectMake(rect.x, rect.y, rect.width, rect.height)" "rect" "'CGRect'"
case_file fail "a frame count where the frame interval's CMTime is wanted" screen_content_macos.mm \
  "CMTimeMake(value, timescale)" "value" "from 'int64_t' .* to 'CMTime'"
case_file fail "a block of the wrong shape" phone_devices_macos.mm \
  "completionHandler:^(BOOL granted) {" "completionHandler:^(int granted, id extra) {" \
  "incompatible block pointer types|cannot initialize a parameter of type 'void \\(\\^"

case_file fail "a property listener of the wrong shape" desktop_audio_macos.mm \
  "OSStatus Trampoline(AudioObjectID, UInt32, const AudioObjectPropertyAddress*, void* client)" \
  "OSStatus Trampoline(AudioObjectID, const AudioObjectPropertyAddress*, void* client)" \
  "no matching function for call to 'AudioObjectAddPropertyListener'"
case_file fail "a reconfiguration callback of the wrong shape" screen_reconfiguration_macos.mm \
  "void WakeOnReconfiguration(CGDirectDisplayID, CGDisplayChangeSummaryFlags flags, void*)" \
  "void WakeOnReconfiguration(CGDirectDisplayID, CGDisplayChangeSummaryFlags flags)" \
  "no matching function for call to 'CGDisplayRegisterReconfigurationCallback'"

echo "# calls the declarations do not have"
case_file fail "a real CoreGraphics function absent from the declarations" screen_displays_macos.mm \
  "CGDisplayModeGetPixelWidth(" "CGDisplayModeGetPixelHeight(" \
  "undeclared identifier 'CGDisplayModeGetPixelHeight'"
case_file fail "an undeclared class method" base_time_macos.mm \
  "[NSThread sleepForTimeInterval:seconds]" "[NSThread sleepUntilDate:nil]" \
  "sleepUntilDate:"

echo "# deprecations and drift from the seam"
case_file fail "a deprecated call outside the silenced region" phone_devices_macos.mm \
  '#pragma clang diagnostic ignored "-Wdeprecated-declarations"' "" "is deprecated"
case_file fail "a definition whose signature drifted from platform.h" screen_displays_macos.mm \
  "size_t display_mode_width(DisplayMode* mode)" \
  "size_t display_mode_width(const DisplayMode* mode)" \
  "no previous prototype for function 'display_mode_width'"

echo "# seam coverage"
rm -f "$work/backend/phone_coremediaio_macos.mm"
expect fail "a seam function without a macOS definition" "missing +cmio_set_property_u32" \
  "$check" --coverage-only --backend "$work/backend"
cp "$backend/phone_coremediaio_macos.mm" "$work/backend/phone_coremediaio_macos.mm"
cp "$backend/phone_coremediaio_macos.mm" "$work/backend/phone_coremediaio_again_macos.mm"
expect fail "a seam function defined twice" "duplicate cmio_set_property_u32" \
  "$check" --coverage-only --backend "$work/backend"

echo "# backend logic that needs no Mac"
cxx="${CLANGXX:-clang++}"
for test in "$backend"/tests/*_test.cc; do
  name="$(basename "$test" .cc)"
  if ! "$cxx" -std=c++20 -Wall -Wextra -Werror -I "$root/src" "$test" -o "$work/$name" \
    > "$log" 2>&1; then
    echo "FAIL - $name (did not build)"
    sed 's/^/       /' "$log" | tail -n 15
    failed=$((failed + 1))
  elif "$work/$name" > "$log" 2>&1; then
    echo "ok   - $name"
    passed=$((passed + 1))
  else
    echo "FAIL - $name"
    sed 's/^/       /' "$log" | tail -n 15
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
