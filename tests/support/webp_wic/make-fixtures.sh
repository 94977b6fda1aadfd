#!/usr/bin/env bash
# Rebuilds the WebP test fixtures and their reference pictures in fixtures/
# with Debian's webp tools (cwebp, img2webp, webpmux, dwebp). The outputs are
# committed; run this only to change them.
#
#   still-lossy.webp             32x24 opaque, lossy
#   still-lossless-alpha.webp    20x14 lossless, alpha from 0 to 255
#   anim-lossless.webp           24x20, 4 frames (80, 160, 240, 50 ms), alpha;
#                                the encoder stores changed rectangles, so
#                                frames only show right when composited
#   anim-lossy.webp              24x20, 3 opaque lossy key frames (70, 130, 200 ms)
#
# References (straight RGBA PAM), each made without the decoder under test:
#   *.expected.pam               dwebp's decode of a still
#   anim-lossless.frameN.pam     the picture encoded as frame N: lossless, so
#                                the composited canvas must equal it
#   anim-lossy.frameN.pam        dwebp's decode of frame N taken out with
#                                webpmux (each frame is a whole-canvas key frame)
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# pam NAME WIDTH HEIGHT DEPTH EXPR: EXPR (perl, in $x, $y) yields DEPTH channel values.
pam() {
  perl -e '
    my ($w, $h, $d, $expr) = @ARGV;
    my $f = eval "sub { my (\$x, \$y) = \@_; $expr }" or die $@;
    binmode STDOUT;
    print "P7\nWIDTH $w\nHEIGHT $h\nDEPTH $d\nMAXVAL 255\nTUPLTYPE ", ($d == 4 ? "RGB_ALPHA" : "RGB"), "\nENDHDR\n";
    for my $y (0 .. $h - 1) {
      for my $x (0 .. $w - 1) {
        my @c = $f->($x, $y);
        die "wrong channel count" unless @c == $d;
        print pack("C*", map { $_ < 0 ? 0 : $_ > 255 ? 255 : int($_) } @c);
      }
    }' "$2" "$3" "$4" "$5" >"$work/$1"
}

# Stills.
pam still-lossy.pam 32 24 3 '($x * 8, $y * 10, 60 + (($x ^ $y) & 15) * 9)'
pam still-lossless-alpha.pam 20 14 4 '($x * 12, 255 - $y * 18, ($x + $y) * 7, $x < 3 ? 0 : $x >= 17 ? 255 : ($x - 3) * 18 + $y)'
cwebp -quiet -q 75 -m 4 -metadata none "$work/still-lossy.pam" -o "$out/still-lossy.webp"
cwebp -quiet -lossless -exact -metadata none "$work/still-lossless-alpha.pam" -o "$out/still-lossless-alpha.webp"
for name in still-lossy still-lossless-alpha; do
  dwebp -quiet -pam "$out/$name.webp" -o "$out/$name.expected.pam"
done

# Lossless animation: a square moving over a gradient, then part of the
# canvas turning clear and half clear.
background='my @c = (40 + $x * 5, 90 + $y * 4, 200 - $x * 3, 255);'
square='($x >= $sx && $x < $sx + 6 && $y >= $sy && $y < $sy + 6)'
pam anim-lossless.frame0.pam 24 20 4 "$background my (\$sx, \$sy) = (2, 2); $square ? (230, 30, 30, 255) : @c"
pam anim-lossless.frame1.pam 24 20 4 "$background my (\$sx, \$sy) = (12, 7); $square ? (230, 30, 30, 255) : @c"
pam anim-lossless.frame2.pam 24 20 4 "$background my (\$sx, \$sy) = (12, 7); \$x < 8 ? (0, 0, 0, 0) : \$y < 4 ? (@c[0 .. 2], 96) : $square ? (230, 30, 30, 255) : @c"
pam anim-lossless.frame3.pam 24 20 4 "$background \$x < 8 ? (0, 0, 0, 0) : (\$x >= 14 && \$y >= 10) ? (20, 200, 60, 128) : @c"
img2webp -loop 0 -lossless \
  -d 80 "$work/anim-lossless.frame0.pam" -d 160 "$work/anim-lossless.frame1.pam" \
  -d 240 "$work/anim-lossless.frame2.pam" -d 50 "$work/anim-lossless.frame3.pam" \
  -o "$out/anim-lossless.webp" >/dev/null
cp "$work"/anim-lossless.frame*.pam "$out/"

# Lossy animation of whole-canvas key frames, so that each frame decoded on
# its own is the composited picture.
pam anim-lossy.src0.pam 24 20 3 '($x * 10, $y * 12, 128)'
pam anim-lossy.src1.pam 24 20 3 '(255 - $x * 10, 60, $y * 12)'
pam anim-lossy.src2.pam 24 20 3 '(($x + $y) * 5, 255 - $y * 12, $x * 10)'
img2webp -loop 0 -kmax 0 -lossy -q 80 \
  -d 70 "$work/anim-lossy.src0.pam" -d 130 "$work/anim-lossy.src1.pam" -d 200 "$work/anim-lossy.src2.pam" \
  -o "$out/anim-lossy.webp" >/dev/null
for i in 0 1 2; do
  webpmux -get frame $((i + 1)) "$out/anim-lossy.webp" -o "$work/anim-lossy.$i.webp" >/dev/null
  dwebp -quiet -pam "$work/anim-lossy.$i.webp" -o "$out/anim-lossy.frame$i.pam"
done

# The lossy frames must be whole-canvas for their references to hold, and the
# lossless animation must really use partial frames.
info=$(webpmux -info "$out/anim-lossy.webp")
if printf '%s\n' "$info" | awk '$1 ~ /^[0-9]+:$/ && ($2 != 24 || $3 != 20 || $5 != 0 || $6 != 0) { bad = 1 } END { exit !bad }'; then
  printf '%s\n' "$info" >&2
  echo "make-fixtures: anim-lossy.webp has partial frames" >&2
  exit 1
fi
webpmux -info "$out/anim-lossless.webp"
ls -l "$out"
