#!/usr/bin/env bash
# quivane.exe frames: PNGs with straight alpha and frames.tsv for a good file,
# the file's name and its HRESULT and exit 1 for a bad one.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
conformance="${3:-$root/tests/conformance}/gif/gifs"
work=$(realpath -m "$bin/../../windows-test-work/host_tool_frames")
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }

"$run" "$bin/quivane.exe" frames "$(winpath "$conformance/animated_transparent_frame_restoreprev_loop.gif")" \
  "$(winpath "$work/out")" --time > "$work/stdout" 2>&1 || fail "frames exited $?: $(cat "$work/stdout")"
grep -q '^ms_per_frame' "$work/stdout" || fail "--time printed no timing"
tsv="$work/out/frames.tsv"
[ -f "$tsv" ] || fail "no frames.tsv"
[ "$(head -1 "$tsv" | tr -d '\r')" = "$(printf 'index\tfile\tdelay_ms\twidth\theight')" ] || fail "header: $(head -1 "$tsv")"
[ "$(tail -n +2 "$tsv" | wc -l)" -eq 4 ] || fail "expected 4 frame rows"
while IFS=$'\t' read -r index file delay width height; do
  [ "$index" = index ] && continue
  [ -s "$work/out/$file" ] || fail "row $index names missing $file"
  head -c 8 "$work/out/$file" | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a' || fail "$file is not a PNG"
  [ "$width" = 100 ] && [ "$height" = 100 ] || fail "row $index size ${width}x$height"
  [ "$delay" -ge 10 ] || fail "row $index delay $delay"
done < "$tsv"

printf 'GIF89a\x10\x00\x10\x00' > "$work/broken.gif"
status=0
"$run" "$bin/quivane.exe" frames "$(winpath "$work/broken.gif")" "$(winpath "$work/bad")" > "$work/stderr" 2>&1 || status=$?
[ "$status" = 1 ] || fail "a broken file exited $status"
grep -Eq '^error: .*broken.gif: .*0x8[0-9A-F]{7} ' "$work/stderr" || fail "no HRESULT printed: $(cat "$work/stderr")"
# Whole, but its image's LZW minimum code size is 0: nothing decodes, so it is
# damaged (WINCODEC_ERR_BADIMAGE), not a transparent frame.
printf 'GIF89a\x04\x00\x04\x00\x80\x00\x00\x00\x00\x00\xff\x00\x00\x2c\x00\x00\x00\x00\x04\x00\x04\x00\x00\x00\x02\x44\x01\x00\x3b' \
  > "$work/no_pixels.gif"
status=0
"$run" "$bin/quivane.exe" frames "$(winpath "$work/no_pixels.gif")" "$(winpath "$work/none")" > "$work/stderr" 2>&1 || status=$?
[ "$status" = 1 ] || fail "a file with nothing to decode exited $status"
grep -q '0x88982F60' "$work/stderr" || fail "not reported as damaged: $(cat "$work/stderr")"
# The line says where the damage was found.
grep -Eq '0x88982F60 .*\(at GifFrameSource\.cpp:[0-9]+\)$' "$work/stderr" || fail "no place given: $(cat "$work/stderr")"
[ ! -e "$work/none/frame_0000.png" ] || fail "a frame was written for a file with nothing to decode"
# ...in the words the preview pane uses for it.
grep -q '0x88982F60 The file is damaged or cut short' "$work/stderr" || fail "damage not named: $(cat "$work/stderr")"

# A still picture, its rows written as they come, into folders that do not exist yet.
"$run" "$bin/quivane.exe" frames "$(winpath "$root/samples/still_ball.png")" "$(winpath "$work/new/deeper/still")" \
  > "$work/stdout" 2>&1 || fail "frames into new folders exited $?: $(cat "$work/stdout")"
[ "$(tail -n +2 "$work/new/deeper/still/frames.tsv" | cut -f2-5 | tr -d '\r')" = "$(printf 'frame_0000.png\t80\t160\t80')" ] ||
  fail "still's row: $(cat "$work/new/deeper/still/frames.tsv")"
if command -v compare >/dev/null; then
  differ=$(compare -metric AE -fuzz 1% "$root/samples/still_ball.png" "$work/new/deeper/still/frame_0000.png" null: 2>&1 || true)
  [ "$differ" = 0 ] || fail "the written still differs from the file in $differ pixels"
fi

# One file, one answer: the same code and words from every command, for an
# empty file and for a WebP cut to its first bytes (known only by its name).
: > "$work/empty.mp4"
head -c 10 "$root/samples/bouncing_ball.webp" > "$work/cut.webp"
for file in empty.mp4 cut.webp; do
  answers=()
  for command in frames thumbnail preview; do
    case "$command" in
      frames) args=("$(winpath "$work/answer-frames")") ;;
      thumbnail) args=(--out "$(winpath "$work/answer.png")") ;;
      preview) args=(--screenshot "$(winpath "$work/answer.png")") ;;
    esac
    status=0
    "$run" "$bin/quivane.exe" "$command" "$(winpath "$work/$file")" "${args[@]}" > "$work/stderr" 2>&1 || status=$?
    [ "$status" = 1 ] || fail "$command of $file exited $status"
    answers+=("$(tr -d '\r' < "$work/stderr" | sed -n 's/^error: [^:]*:[^:]*: [^:]*: \(0x[0-9A-F]\{8\} [^(]*\).*/\1/p' | sed 's/ *$//' | head -1)")
  done
  [ -n "${answers[0]}" ] && [ "${answers[0]}" = "${answers[1]}" ] && [ "${answers[0]}" = "${answers[2]}" ] ||
    fail "$file: frames, thumbnail and preview answer differently: ${answers[*]}"
  [ "$file" != empty.mp4 ] || [[ "${answers[0]}" == "0x800710D2 The file is empty"* ]] || fail "empty: ${answers[0]}"
done
echo "frames command behaves"
