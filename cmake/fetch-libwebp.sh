#!/usr/bin/env bash
# Fetches Debian's libwebp source package (with Debian's patches applied) into
# DEST, for the WebP decoding linked into Quivane.dll: fetch-libwebp.sh DEST
# Prints the extracted source folder. Refuses a source older than the one with
# the lossless Huffman overflow fixed (CVE-2023-4863).
exec "$(dirname "$0")/fetch-debian-source.sh" libwebp 1.2.4-0.2+deb12u1 src/demux/anim_decode.c "$1" \
  "CVE-2023-4863 unfixed"
