#!/usr/bin/env bash
# What the x64 build makes of every picture sample, for the ARM64 smoke run to
# match byte for byte: x64-reference.sh BUILD SOURCE
# Writes BUILD/arm64-work/x64/: frames/NAME/ (quivane.exe frames) and
# NAME-thumbnail.png (96 px). Runs in the build tree's own prefix.
set -eu
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
run=$SOURCE/tests/support/wine-run
exe=$BUILD/windows/bin/quivane.exe
ref=$BUILD/arm64-work/x64
rm -rf "$ref"
mkdir -p "$ref/frames"
for sample in "$SOURCE"/samples/*.gif "$SOURCE"/samples/*.png "$SOURCE"/samples/*.webp; do
  name=$(basename "$sample")
  "$run" "$exe" frames "$(winpath "$sample")" "$(winpath "$ref/frames/$name")" > "$ref/out" 2>&1 ||
    fail "x64 frames of $name exited $?: $(cat "$ref/out")"
  "$run" "$exe" thumbnail "$(winpath "$sample")" --size 96 --out "$(winpath "$ref/$name-thumbnail.png")" \
    > "$ref/out" 2>&1 || fail "x64 thumbnail of $name exited $?: $(cat "$ref/out")"
done
rm -f "$ref/out"
echo "x64 frames and thumbnails of $(ls "$ref/frames" | wc -l) samples"
