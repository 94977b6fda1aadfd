#!/usr/bin/env bash
# Regenerates the small videos the colour-converter tests read: each is 2 s at
# 25 fps, one solid colour for the first second and another for the second.
#   first  RGB 0x3050a0 (R 48, G 80, B 160)
#   second RGB 0xc08030 (R 192, G 128, B 48)
# ffmpeg's RGB-to-YUV step is BT.601 limited range, the inverse of what the
# converter does, so decoded pixels land within a few steps of these values.
set -eu
out=${1:-$(cd "$(dirname "$0")" && pwd)/fixtures}
mkdir -p "$out"

common=(-hide_banner -loglevel error -y -threads 1 -fflags +bitexact)

two_colours() { # size
  printf '%s' "color=c=0x3050a0:s=$1:r=25:d=1[a];color=c=0xc08030:s=$1:r=25:d=1[b];[a][b]concat=n=2:v=1:a=0,format=yuv420p[v]"
}

# H.264 without B-frames, so the first sample is at time 0.
ffmpeg "${common[@]}" -filter_complex "$(two_colours 320x180)" -map '[v]' \
  -c:v libx264 -preset medium -g 25 -bf 0 -flags:v +bitexact -map_metadata -1 \
  "$out/two-colours-320x180.mp4"

# A width that is no multiple of 4: Wine hands the decoded rows over padded.
ffmpeg "${common[@]}" -filter_complex "$(two_colours 330x186)" -map '[v]' \
  -c:v libx264 -preset medium -g 25 -bf 0 -flags:v +bitexact -map_metadata -1 \
  "$out/two-colours-330x186.mp4"

ffmpeg "${common[@]}" -filter_complex "$(two_colours 320x180)" -map '[v]' \
  -c:v wmv2 -q:v 4 -g 25 -flags:v +bitexact -map_metadata -1 \
  "$out/two-colours-320x180.wmv"
