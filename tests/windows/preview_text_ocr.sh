#!/usr/bin/env bash
# What the pane writes, a person can read: the tool's picture of the pane,
# read back by OCR, says "Cannot preview this file" and why for a file it
# cannot show, and where playback stands on the information line of an
# animation, at 100 %, 150 % and 200 % display scale, in the light and the dark
# theme by turns. Each scale runs in a copy of the test prefix of its own, so
# the DPI, the theme and the view set there touch no other test.
set -eu
bin=$1
root=$2
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
base="$QUIVANE_BUILD_DIR/wineprefix"
work="$QUIVANE_BUILD_DIR/preview-text-ocr"
. "$root/tests/support/private-prefix.sh"
fail() { echo "FAIL: $*"; exit 1; }
command -v tesseract >/dev/null || fail "no tesseract (Debian's tesseract-ocr)"
command -v convert >/dev/null || fail "no convert (Debian's imagemagick)"
quivane_private_work "$work"
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }

# A GIF cut inside its colour table, and words in no picture's format.
head -c 40 "$root/samples/bouncing_ball.gif" > "$work/cut.gif"
printf 'These are plain words, in no format a picture has.\n' > "$work/notes.qvx"

# The text tesseract reads in the pane's picture (its top TOP pixels, or all
# of it), on one line. Scaled up to about 300 DPI and, from the dark theme,
# made dark on light, as it reads best.
read_picture() {
  local shot=$1 dpi=$2 theme=$3 top=${4:-} scaled="$1.ocr.png" negate=() crop=()
  [ "$theme" = dark ] && negate=(-negate)
  [ -n "$top" ] && crop=(-crop "x$top+0+0" +repage)
  convert "$shot" "${crop[@]}" -colorspace Gray "${negate[@]}" -resize "$(( (288 + dpi - 1) / dpi * 100 ))%" "$scaled" ||
    fail "ImageMagick could not read $shot"
  tesseract "$scaled" stdout --psm 6 2>/dev/null | tr -s ' \n' '  '
}

# use_prefix DPI THEME: a prefix of its own at DPI, in THEME, with the information line on.
use_prefix() {
  local dpi=$1 theme=$2 light=0
  [ "$theme" = light ] && light=1
  quivane_private_prefix "$base" "$work/prefix-$dpi-$theme"
  . "$root/tests/support/wine-env.sh"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n"LogPixels"=dword:%08x\r\n\r\n%s\r\n"LogPixels"=dword:%08x\r\n\r\n%s\r\n"AppsUseLightTheme"=dword:%08x\r\n' \
    '[HKEY_CURRENT_USER\Control Panel\Desktop]' "$dpi" \
    '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' "$dpi" \
    '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize]' "$light" \
    > "$work/settings.reg"
  # The information line on, the rest of the view as it comes, whatever the shared prefix held.
  printf '\r\n[HKEY_CURRENT_USER\Software\Quivane]\r\n"ShowInformation"=dword:00000001\r\n"PlaybackSpeedPercent"=dword:00000064\r\n"TransparencyCheckerboard"=dword:00000000\r\n"PixelExactScaling"=dword:00000000\r\n' \
    >> "$work/settings.reg"
  wine reg import "$(winpath "$work/settings.reg")" >/dev/null 2>&1 || fail "cannot set the display DPI and the theme"
}

# shoot DPI THEME FILE STATUS [TOOL OPTIONS...]: the pane's picture of FILE,
# 480 x 200 at 96 DPI and scaled with DPI, from a run of the tool that must end with STATUS.
shoot() {
  local dpi=$1 theme=$2 file=$3 expected=$4 status=0
  shift 4
  shot="$work/$dpi-$theme-$(basename "$file").png"
  "$root/tests/support/wine-run" "$bin/quivane.exe" preview "$(winpath "$file")" \
    --size "$((480 * dpi / 96))x$((200 * dpi / 96))" --screenshot "$(winpath "$shot")" "$@" > "$work/out" 2>&1 || status=$?
  [ "$status" = "$expected" ] || fail "$(basename "$file") at $dpi DPI exited $status: $(cat "$work/out")"
  [ -s "$shot" ] || fail "no picture of $(basename "$file") at $dpi DPI: $(cat "$work/out")"
}

# expect_read DPI THEME TOP WHAT PATTERN...: every pattern (a grep -E) is in
# the text read from the top TOP pixels of $shot (empty: all of it).
expect_read() {
  local dpi=$1 theme=$2 top=$3 what=$4 text pattern
  shift 4
  text=$(read_picture "$shot" "$dpi" "$theme" "$top")
  for pattern in "$@"; do
    printf '%s' "$text" | grep -Eq -- "$pattern" || fail "$what at $dpi DPI, $theme: no \"$pattern\" in \"$text\""
  done
}

# At each scale the failure message of FILE with WORD of its reason, and the
# information line of a paused 24-frame, 160 x 90 GIF: "n / 24 · 80 ms · 160×90 · GIF".
read_both() {
  local dpi=$1 theme=$2 file=$3 word=$4
  use_prefix "$dpi" "$theme"
  shoot "$dpi" "$theme" "$file" 1 --screenshot-failed --after-ms 0
  expect_read "$dpi" "$theme" "" "the failure message" "Cannot preview this file" "$word"
  shoot "$dpi" "$theme" "$root/samples/test_pattern.gif" 0 --keys space --after-ms 0
  expect_read "$dpi" "$theme" "$((32 * dpi / 96))" "the information line" "[0-9]+ ?/ ?24" "[0-9]0 ?ms" "160 ?.? ?90" "GIF"
  wineserver -k >/dev/null 2>&1 || true
}

read_both 96 dark "$work/cut.gif" damaged
read_both 144 light "$work/notes.qvx" format
read_both 192 dark "$work/cut.gif" damaged
echo "the failure message and the information line read back at 96, 144 and 192 DPI, light and dark"
