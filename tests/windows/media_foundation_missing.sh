#!/usr/bin/env bash
# On a system without the media components the server still loads: pictures
# get thumbnails and frames, and a video fails cleanly instead of taking the
# whole server down with it.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
work=$(mktemp -d -p "$QUIVANE_BUILD_DIR")
trap 'rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }

# The platform's media DLLs, hidden from these processes only.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;mfplat,mfreadwrite,mf=d"

"$run" "$bin/quivane.exe" thumbnail "$(winpath "$root/samples/bouncing_ball.gif")" --size 64 \
  --out "$(winpath "$work/gif.png")" > "$work/out" 2>&1 || fail "GIF thumbnail without media DLLs: $(cat "$work/out")"
[ -s "$work/gif.png" ] || fail "no GIF thumbnail"
"$run" "$bin/quivane.exe" frames "$(winpath "$root/samples/bouncing_ball.webp")" "$(winpath "$work/frames")" \
  > "$work/out" 2>&1 || fail "WebP frames without media DLLs: $(cat "$work/out")"

for video in "$root/tests/fixtures/video/pattern.wmv" "$root/samples/"*.mp4; do
  status=0
  "$run" "$bin/quivane.exe" thumbnail "$(winpath "$video")" --size 64 --out "$(winpath "$work/video.png")" \
    > "$work/out" 2>&1 || status=$?
  [ "$status" -eq 1 ] || fail "$(basename "$video") without media DLLs exited $status: $(cat "$work/out")"
  [ ! -e "$work/video.png" ] || fail "$(basename "$video") gave a thumbnail without media DLLs"
done
# The preview pane says what is missing and how to add it.
status=0
"$run" "$bin/quivane.exe" preview "$(winpath "$root/tests/fixtures/video/pattern.wmv")" --size 320x200 \
  --screenshot "$(winpath "$work/preview.png")" --after-ms 0 > "$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a video's preview without media DLLs exited $status: $(cat "$work/out")"
grep -q '^pane_says	Cannot preview this file\. Videos need Media Foundation.*Media Feature Pack' "$work/out" \
  || fail "the pane does not say Media Foundation is missing: $(cat "$work/out")"
echo "pictures decode and videos fail cleanly without the media DLLs"
