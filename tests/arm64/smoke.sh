#!/usr/bin/env bash
# The ARM64 build under arm64 Wine and qemu-user, in the arm64 root's prefix:
# smoke.sh BUILD SOURCE
# regsvr32 registers Quivane.dll; quivane.exe status finds an ARM64 machine
# and build, all ours and loading; through COM, frames and a 96-pixel
# thumbnail of every picture sample are byte for byte the x64 build's
# (x64-reference.sh), and a preview takes its screenshot; unregistering
# leaves no class behind. A smoke set: the whole suite runs against x64.
set -eu
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
. "$SOURCE/tests/arm64/arm64-env.sh"
bin=$BUILD/windows-arm64/bin
ref=$BUILD/arm64-work/x64
work=$BUILD/arm64-work/smoke
started=$(date +%s)
png_size() { head -c 24 "$1" | tail -c 8 | od -An -tu1 | awk '{print $3*256+$4 "x" $7*256+$8}'; }
tool() { wine_arm64 "$bin/quivane.exe" "$@" > "$work/out" 2>&1; }

for file in Quivane.dll quivane.exe; do [ -f "$bin/$file" ] || fail "the ARM64 $file was not built"; done
[ -d "$ref/frames" ] || fail "no x64 reference in $ref (the arm64.x64_reference test makes it)"
preview=$(sed -n 's|^// \({[0-9A-F-]*}\)$|\1|p' "$SOURCE/src/platform/ServerClasses.h" | sed -n 1p)
[ -n "$preview" ] || fail "cannot read the preview handler's class from the sources"
rm -rf "$work"
mkdir -p "$work/frames"
start_wineserver

dll=$(winpath "$bin/Quivane.dll")
wine_arm64 regsvr32 /s /n /i:machine "$dll" > "$work/out" 2>&1 || fail "regsvr32 exited $?: $(cat "$work/out")"
got=$(wine_arm64 reg query "HKLM\\Software\\Classes\\CLSID\\$preview\\InprocServer32" /ve 2>/dev/null | tr -d '\r' |
  sed -n 's/^.*    REG_[A-Z_]*    //p')
[ "$got" = "$dll" ] || fail "the preview handler's server is '$got', not $dll"

code=0
tool status || code=$?
[ "$code" = 0 ] || fail "status exited $code: $(cat "$work/out")"
grep -q '^machine: ARM64, this tool: ARM64$' "$work/out" || fail "status names no ARM64 machine and tool: $(head -3 "$work/out")"
grep -q "preview handler {.*}: .*Quivane.dll (version [0-9.]*, ARM64, present, .*), loads$" "$work/out" ||
  fail "status finds no ARM64 build that loads: $(grep 'preview handler' "$work/out")"

for sample in "$SOURCE"/samples/*.gif "$SOURCE"/samples/*.png "$SOURCE"/samples/*.webp; do
  name=$(basename "$sample")
  tool frames "$(winpath "$sample")" "$(winpath "$work/frames/$name")" || fail "frames of $name exited $?: $(cat "$work/out")"
  diff -r "$ref/frames/$name" "$work/frames/$name" > /dev/null || fail "the frames of $name differ from x64's"
  tool thumbnail "$(winpath "$sample")" --size 96 --out "$(winpath "$work/$name-thumbnail.png")" ||
    fail "thumbnail of $name exited $?: $(cat "$work/out")"
  grep -q 'from the registered class' "$work/out" || fail "$name's thumbnail not through COM: $(cat "$work/out")"
  cmp -s "$ref/$name-thumbnail.png" "$work/$name-thumbnail.png" || fail "the thumbnail of $name differs from x64's"
done

tool preview "$(winpath "$SOURCE/samples/bouncing_ball.gif")" --size 200x120 \
  --screenshot "$(winpath "$work/preview.png")" --after-ms 50 || fail "preview exited $?: $(cat "$work/out")"
grep -q 'preview handler from the registered class' "$work/out" || fail "the preview not through COM: $(cat "$work/out")"
[ "$(png_size "$work/preview.png")" = 200x120 ] || fail "the screenshot is $(png_size "$work/preview.png")"
# The ball on the pane's background, not a pane that drew nothing (ImageMagick counts the colours).
colours=$(identify -format %k "$work/preview.png")
[ "$colours" -ge 3 ] || fail "the screenshot has $colours colours: nothing was drawn"

wine_arm64 regsvr32 /s /u /n /i:machine "$dll" > "$work/out" 2>&1 || fail "unregistering exited $?: $(cat "$work/out")"
! wine_arm64 reg query "HKLM\\Software\\Classes\\CLSID\\$preview" > /dev/null 2>&1 || fail "the class registration stayed"
echo "the ARM64 build registers, says its machine, matches x64's frames and thumbnails of" \
  "$(ls "$work/frames" | wc -l) samples, previews and unregisters ($(($(date +%s) - started)) s)"
