#!/bin/sh
# Regenerates the small video files the tests decode (committed beside this
# script's output folder, so tests need no encoder).   apt-get install ffmpeg
set -eu
OUT=${1:-$(dirname "$0")/../fixtures/video}
mkdir -p "$OUT"
FF="ffmpeg -nostdin -v error -y"
BX="-fflags +bitexact -flags:v +bitexact -threads 1"
H264="-c:v libx264 -preset veryfast -bf 0 -g 10 -pix_fmt yuv420p -x264-params threads=1"

# One second of black, then two of a bright test pattern (a still must come from the bright part).
$FF -f lavfi -i "color=c=black:size=160x90:rate=10:duration=1" -f lavfi -i "testsrc2=size=160x90:rate=10:duration=2" \
    -filter_complex "[0:v][1:v]concat=n=2:v=1:a=0[v]" -map "[v]" $H264 $BX "$OUT/black_then_bright.mp4"
# Black throughout.
$FF -f lavfi -i "color=c=black:size=160x90:rate=10:duration=2" $H264 $BX "$OUT/black.mp4"
# Half a second.
$FF -f lavfi -i "testsrc2=size=160x90:rate=10:duration=0.5" $H264 $BX "$OUT/short.mp4"
# Full HD, a flat mid grey (small to store).
$FF -f lavfi -i "color=c=0x808080:size=1920x1080:rate=10:duration=0.5" $H264 $BX "$OUT/hd1080.mp4"
# WMV2 in ASF.
$FF -f lavfi -i "testsrc2=size=160x90:rate=10:duration=2" -c:v wmv2 -b:v 300k -g 10 $BX "$OUT/pattern.wmv"
# The same pattern in the other containers, each with a codec Windows ships a decoder for
# (WebM's VP8 excepted: the system may lack it).
PATTERN="-f lavfi -i testsrc2=size=160x90:rate=10:duration=2"
$FF $PATTERN $H264 $BX "$OUT/pattern.m4v"
$FF $PATTERN $H264 $BX -f mov "$OUT/pattern.mov"
$FF $PATTERN $H264 $BX "$OUT/pattern.mkv"
$FF $PATTERN -c:v mpeg4 -q:v 4 -g 10 $BX "$OUT/pattern.avi"
$FF $PATTERN -c:v libvpx -b:v 300k -g 10 $BX "$OUT/pattern.webm"
# The pattern with its movie box first, as web and phone videos are: cut short, it still plays what it holds.
$FF $PATTERN $H264 $BX -movflags +faststart "$OUT/pattern_faststart.mp4"


# ffmpeg's own pictures of frame 20 (2.0 s) of the pattern files, as references.
$FF -i "$OUT/black_then_bright.mp4" -vf "select=eq(n\,20)" -frames:v 1 "$OUT/black_then_bright.frame20.ppm"
$FF -i "$OUT/pattern.wmv" -vf "select=eq(n\,10)" -frames:v 1 "$OUT/pattern.frame10.ppm"
# The pattern itself at 1.0 s, before any encoder: what every container's still approaches.
$FF $PATTERN -vf "select=eq(n\,10)" -frames:v 1 "$OUT/pattern.source10.ppm"
ls -l "$OUT"
