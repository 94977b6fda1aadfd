#!/usr/bin/env bash
# A file the pane cannot show leaves a message a person can read: the tool's
# picture of the pane, read back by OCR, says "Cannot preview this file" and
# why, at 100 %, 150 % and 200 % display scale, in the light and the dark
# theme by turns. Each scale runs in a copy of the test prefix (as
# display_scale.sh makes them), so the DPI and the theme set there touch no
# other test.
set -eu
bin=$1
root=$2
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
base="$QUIVANE_BUILD_DIR/wineprefix"
[ -f "$base/system.reg" ] || { echo "FAIL: no test prefix at $base"; exit 1; }
work="$QUIVANE_BUILD_DIR/preview-failure-ocr"
fail() { echo "FAIL: $*"; exit 1; }
command -v tesseract >/dev/null || fail "no tesseract (Debian's tesseract-ocr)"
cleanup() {
  for prefix in "$work"/prefix-*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
cleanup
mkdir -p "$work"
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }

# A GIF cut inside its colour table, and words in no picture's format.
head -c 40 "$root/samples/bouncing_ball.gif" > "$work/cut.gif"
printf 'These are plain words, in no format a picture has.\n' > "$work/notes.qvx"

# The text tesseract reads in the pane's picture, on one line. Scaled up to
# about 300 DPI and, from the dark theme, made dark on light, as it reads best.
read_picture() {
  local shot=$1 dpi=$2 theme=$3 scaled="$1.ocr.png"
  if command -v convert >/dev/null; then
    local negate=()
    [ "$theme" = dark ] && negate=(-negate)
    convert "$shot" -colorspace Gray "${negate[@]}" -resize "$(( (288 + dpi - 1) / dpi * 100 ))%" "$scaled"
  else
    cp "$shot" "$scaled"
  fi
  tesseract "$scaled" stdout --psm 6 2>/dev/null | tr -s ' \n' '  '
}

# preview_and_read DPI THEME FILE WORD: in a prefix of its own at DPI and in
# THEME, the message and WORD of the file's reason must be read.
preview_and_read() {
  local dpi=$1 theme=$2 file=$3 word=$4 light=0 status=0
  [ "$theme" = light ] && light=1
  local prefix="$work/prefix-$dpi"
  cp -al "$base" "$prefix"
  rm -rf "$prefix"/*.reg "$prefix/wineserver"
  cp "$base"/*.reg "$prefix/"
  export WINEPREFIX=$prefix
  . "$root/tests/support/wine-env.sh"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n"LogPixels"=dword:%08x\r\n\r\n%s\r\n"LogPixels"=dword:%08x\r\n\r\n%s\r\n"AppsUseLightTheme"=dword:%08x\r\n' \
    '[HKEY_CURRENT_USER\Control Panel\Desktop]' "$dpi" \
    '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' "$dpi" \
    '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize]' "$light" \
    > "$work/settings.reg"
  wine reg import "$(winpath "$work/settings.reg")" >/dev/null 2>&1 || fail "cannot set the display DPI and the theme"
  local shot="$work/$dpi-$theme.png"
  "$root/tests/support/wine-run" "$bin/quivane.exe" preview "$(winpath "$file")" \
    --size "$((480 * dpi / 96))x$((200 * dpi / 96))" --screenshot "$(winpath "$shot")" --screenshot-failed \
    --after-ms 0 > "$work/out" 2>&1 || status=$?
  wineserver -k >/dev/null 2>&1 || true
  [ "$status" = 1 ] || fail "$(basename "$file") at $dpi DPI exited $status: $(cat "$work/out")"
  [ -s "$shot" ] || fail "no picture of $(basename "$file") at $dpi DPI: $(cat "$work/out")"
  local text
  text=$(read_picture "$shot" "$dpi" "$theme")
  case "$text" in *"Cannot preview this file"*) ;; *) fail "at $dpi DPI, $theme: read \"$text\"" ;; esac
  case "$text" in *"$word"*) ;; *) fail "at $dpi DPI, $theme: no \"$word\" in \"$text\"" ;; esac
}

preview_and_read 96 dark "$work/cut.gif" damaged
preview_and_read 144 light "$work/notes.qvx" format
preview_and_read 192 dark "$work/cut.gif" damaged
echo "the failure message reads back at 96, 144 and 192 DPI, light and dark"
