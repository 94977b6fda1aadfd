#!/usr/bin/env bash
# quivane.exe preview: hosts the handler, plays a GIF, takes scripted keys and
# saves the preview's picture; a file it cannot show fails with exit 1 and no picture.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
work=$(realpath -m "$bin/../../windows-test-work/host_tool_preview")
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }

"$run" "$bin/quivane.exe" preview "$(winpath "$root/samples/bouncing_ball.gif")" --size 320x200 \
  --keys space,right,right --screenshot "$(winpath "$work/shot.png")" --after-ms 100 --time > "$work/out" 2>&1 \
  || fail "preview exited $?: $(cat "$work/out")"
grep -q '^first_frame_ms' "$work/out" || fail "--time printed nothing"
[ -s "$work/shot.png" ] || fail "no screenshot"
head -c 24 "$work/shot.png" | od -An -tx1 | tr -d ' \n' | grep -q '^89504e470d0a1a0a0000000d4948445200000140000000c8' \
  || fail "screenshot is not a 320x200 PNG"

head -c 100 /dev/urandom > "$work/noise.gif"
status=0
"$run" "$bin/quivane.exe" preview "$(winpath "$work/noise.gif")" --screenshot "$(winpath "$work/noise.png")" \
  --after-ms 50 > "$work/out2" 2>&1 || status=$?
[ "$status" = 1 ] || fail "a file that cannot be decoded exited $status: $(cat "$work/out2")"
grep -Eq '^error: .*noise.gif: cannot decode: 0x8[0-9A-F]{7} ' "$work/out2" || fail "no reason given: $(cat "$work/out2")"
grep -q '^pane_says	Cannot preview this file\. The file ' "$work/out2" || fail "the pane says nothing: $(cat "$work/out2")"
[ ! -e "$work/noise.png" ] || fail "a picture of a file that cannot be decoded"
echo "preview command behaves"
