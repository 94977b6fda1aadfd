#!/usr/bin/env bash
# The pane on displays scaled to 150 % and 200 %: display_scale_tests in
# copies of the test prefix whose display DPI is 144 and 192. The copies
# share the prefix's files through hard links and have registries of their
# own, so the DPI set there touches no other test.
set -eu
bin=$1
root=$2
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
base="$QUIVANE_BUILD_DIR/wineprefix"
work="$QUIVANE_BUILD_DIR/display-scale"
. "$root/tests/support/private-prefix.sh"
fail() { echo "FAIL: $*"; exit 1; }
quivane_private_work "$work"

for dpi in 144 192; do
  quivane_private_prefix "$base" "$work/prefix-$dpi"
  . "$root/tests/support/wine-env.sh"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
    fail "cannot set the display DPI"
  wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || fail "cannot set the display DPI"
  QUIVANE_EXPECTED_DPI=$dpi "$root/tests/support/wine-run" "$bin/display_scale_tests.exe" > "$work/out-$dpi" 2>&1 ||
    fail "at $dpi DPI: $(cat "$work/out-$dpi")"
  grep -q '\[  PASSED  \] 2 tests' "$work/out-$dpi" || fail "at $dpi DPI: $(cat "$work/out-$dpi")"
  wineserver -k >/dev/null 2>&1 || true
done
echo "the pane scales at 144 and 192 DPI"
