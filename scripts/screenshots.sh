#!/usr/bin/env bash
# Regenerates the screenshots of the documentation: docs/login-window.png,
# docs/confirm-window.png and docs/exam-window.png. It builds the 64-bit
# end-to-end test, runs its Screenshots test (the real client against a
# scripted server, in a Wine session of its own) with EXAM_SCREENSHOT_DIR set,
# and turns the saved bitmaps into PNGs.
#
#   scripts/screenshots.sh [BUILD_DIR]      default: build/windows-x86_64
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/windows-x86_64}")
# The plain "convert" on PATH may be a wrapper; go to ImageMagick directly.
im=
for c in /usr/bin/convert-im6.q16 /usr/bin/convert; do
  if [ -x "$c" ]; then im=$c; break; fi
done
[ -n "$im" ] || { echo "screenshots: ImageMagick not found (scripts/install-deps.sh)" >&2; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" --preset windows-x86_64 >/dev/null
fi
cmake --build "$build" --target confirm_flow_test

session="$build/wine-screenshots"
shots=$(mktemp -d)
cleanup() {
  "$root/scripts/wine-session.sh" stop "$session" || true
  rm -rf "$shots"
}
trap cleanup EXIT
"$root/scripts/wine-session.sh" start "$session"
EXAM_SCREENSHOT_DIR="$shots" "$root/scripts/wine-run.sh" "$session" \
  "$build/tests/e2e/confirm_flow_test.exe" --gtest_filter=ConfirmFlow.Screenshots

mkdir -p "$root/docs"
for name in login-window confirm-window exam-window; do
  [ -s "$shots/$name.bmp" ] || { echo "screenshots: $name.bmp was not saved" >&2; exit 1; }
  # The capture's fourth byte is no alpha; no dates, so a rerun changes only pixels.
  "$im" "$shots/$name.bmp" -alpha off -strip -define png:exclude-chunks=date,time \
    "PNG24:$root/docs/$name.png"
  echo "screenshots: docs/$name.png"
done
