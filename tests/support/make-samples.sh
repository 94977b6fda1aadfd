#!/bin/sh
# Regenerates the bundled samples in samples/ (committed, so the demo needs no encoder).
#   apt-get install ffmpeg imagemagick webp
set -eu
OUT=${1:-$(dirname "$0")/../../samples}
IM=/usr/bin/convert
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# A moving test pattern: full frames, one global palette, 12 fps.
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=160x90:rate=12" \
  -filter_complex "[0:v]trim=end_frame=24,split[a][b];[a]palettegen[p];[b][p]paletteuse=dither=none" \
  -fflags +bitexact -flags:v +bitexact -loop 0 "$OUT/test_pattern.gif"

# A ball crossing a transparent canvas: partial frames, transparency and every
# disposal method once ImageMagick optimises the layers.
i=0
while [ $i -lt 16 ]; do
  x=$((12 + i * 8)); y=$((30 + (i % 8) * 4))
  "$IM" -size 160x80 xc:none +antialias -fill 'rgb(40,120,220)' -draw "rectangle 60,50 100,76" \
    -fill orange -stroke black -draw "circle $x,$y $((x + 10)),$y" "$(printf '%s/b%02d.png' "$TMP" $i)"
  i=$((i + 1))
done
"$IM" -delay 6 -dispose Background "$TMP"/b*.png -layers OptimizePlus -loop 0 "$OUT/bouncing_ball.gif"

# The same ball as an animated PNG (ffmpeg writes sub-rectangles with blend
# and dispose operations) and as an animated WebP, and one still PNG.
ffmpeg -nostdin -v error -y -framerate 16 -i "$TMP/b%02d.png" -plays 0 -f apng -fflags +bitexact \
  "$OUT/bouncing_ball.png"
img2webp -loop 0 -lossless -d 60 "$TMP"/b*.png -o "$OUT/bouncing_ball.webp" >/dev/null 2>&1
cp "$TMP/b05.png" "$OUT/still_ball.png"

# Videos: the test fixtures that start black, and a WMV2 test pattern.
"$(dirname "$0")/make-video-fixtures.sh" "$TMP/video" >/dev/null
cp "$TMP/video/black_then_bright.mp4" "$OUT/dark_start.mp4"
cp "$TMP/video/pattern.wmv" "$OUT/pattern.wmv"
ls -l "$OUT"
