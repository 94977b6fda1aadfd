#!/usr/bin/env bash
# The PNG and GIF decoders before and after libdeflate inflated whole frames,
# rows were unfiltered in vector registers and LZW strings were kept in
# pieces, in one run: bench/native/png_decode_bench.cpp and
# gif_decode_bench.cpp built alike against the sources of the commit before
# that change and against this tree's, the two run in turns, each figure
# printed beside its target.
#   bench/decode_before_after.sh BUILD_DIR CORPUS_DIR
# Needs clang++, libbenchmark-dev and zlib1g-dev; libdeflate comes from BUILD_DIR.
set -euo pipefail
build=$1
corpus=$2
root=$(cd "$(dirname "$0")/.." && pwd)
out=$build/decode-before-after
rounds=${QUIVANE_BENCH_ROUNDS:-3}
deflate=$(cat "$build/libdeflate/source-dir")

# The change's first commit; its parent is the decoders before.
first=$(git -C "$root" log --diff-filter=A --format=%H -- src/formats/png/PngWholeInflater.cpp | tail -n 1)
rm -rf "$out" && mkdir -p "$out/before"
git -C "$root" archive "$first^" src | tar -x -C "$out/before"

compile() { # SOURCE_ROOT EXE
  local sources=() f
  for f in png/Adler32 png/PngChunks png/PngDataInflater png/PngImageDecoder png/PngRowConversion png/PngUnfilter \
           png/PngWholeInflater gif/GifComposition gif/GifCanvas gif/GifControlBlocks gif/GifImageDecoder gif/GifFormat FormatRow; do
    [ -f "$1/src/formats/$f.cpp" ] && sources+=("$1/src/formats/$f.cpp")
  done
  [ -f "$1/src/imaging/CompositionCanvas.cpp" ] && sources+=("$1/src/imaging/CompositionCanvas.cpp")
  clang++ -std=c++17 -O3 -DNDEBUG -DQUIVANE_BENCH_LIBDEFLATE=1 -I"$1/src" -isystem "$deflate" \
    "$root/bench/native/png_decode_bench.cpp" "$root/bench/native/gif_decode_bench.cpp" "$root/bench/native/main.cpp" \
    "${sources[@]}" "$1/src/imaging/PremultipliedBlend.cpp" "$build/libquivane_deflate.a" \
    -lbenchmark -lpthread -lz -o "$2"
}
compile "$out/before" "$out/before_bench"
compile "$root" "$out/after_bench"

pngs="$corpus/png_photo.png:$corpus/png_screenshot.png:$corpus/huge/png_tall_1920x40000.png:$corpus/apng_typical.png"
gifs="$corpus/gif_large.gif:$corpus/gif_typical.gif:$corpus/gif_transparent.gif"
for round in $(seq "$rounds"); do
  for side in before after; do
    QUIVANE_BENCH_PNGS=$pngs QUIVANE_BENCH_GIFS=$gifs "$out/${side}_bench" --benchmark_filter='Decode|Libdeflate' \
      --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
      sed -n "s/^\"\(BM_[A-Za-z]*\)\/\([^\"]*\)_median\",[^,]*,[^,]*,\([^,]*\),.*/$side \1 \2 \3/p"
  done
done > "$out/figures.txt"

# Medians of the rounds' medians; speed-ups as before / after, beside their targets.
awk -f "$root/bench/median.awk" -f /dev/stdin "$out/figures.txt" <<'AWK'
  { key = $1 " " $2 " " $3; times[key] = times[key] " " $4
    if ($2 != "BM_LibdeflateWhole" && !(($2 " " $3) in seen)) { seen[$2 " " $3] = 1; order[++count] = $2 " " $3 } }
  END {
    target["BM_GifDecode gif_large"] = 1.8; target["BM_PngDecode png_photo"] = 2
    target["BM_PngDecode png_screenshot"] = 2; target["BM_PngDecode png_tall_1920x40000"] = 1.5
    printf "%-34s %10s %10s %9s %8s %13s\n", "decode, every frame", "before_ms", "after_ms", "speed-up", "target", "libdeflate_ms"
    for (i = 1; i <= count; i++) {
      split(order[i], k, " ")
      b = median(times["before " order[i]]); a = median(times["after " order[i]])
      l = times["after BM_LibdeflateWhole " k[2]] == "" ? "-" : sprintf("%.2f", median(times["after BM_LibdeflateWhole " k[2]]))
      t = (order[i] in target) ? sprintf("%.2fx", target[order[i]]) : "-"
      verdict = (order[i] in target) ? ((b / a >= target[order[i]]) ? "met" : "NOT MET") : ""
      printf "%-34s %10.2f %10.2f %8.2fx %8s %13s %s\n", k[2] " (" substr(k[1], 4) ")", b, a, b / a, t, l, verdict
    }
  }
AWK
echo "   (speed-up: the whole decode before over after, natively, in CPU time (steadier than the wall clock on a busy"
echo "    machine), medians of $rounds rounds of 5 repetitions taken in turns; libdeflate_ms: libdeflate alone inflating"
echo "    the same frames from one buffer, no unfilter or conversion)"
