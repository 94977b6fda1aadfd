#!/bin/sh
# Regenerates the bundled samples in samples/ (committed, so the demo needs no encoder).
#   apt-get install ffmpeg imagemagick
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
ls -l "$OUT"
