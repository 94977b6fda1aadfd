#!/usr/bin/env bash
# The PNG decoder before and after it inflated through zlib, in one run:
# bench/native/png_decode_bench.cpp built alike against the sources of the
# last commit with our own inflater and against this tree's, the two run in
# turns, with Debian's libdeflate inflating the same data whole beside them.
#   bench/png_decode_before_after.sh BUILD_DIR FILE...
# Needs clang++, libbenchmark-dev, zlib1g-dev and libdeflate-dev.
set -euo pipefail
build=$1; shift
root=$(cd "$(dirname "$0")/.." && pwd)
out=$build/png-before-after
rounds=${QUIVANE_BENCH_ROUNDS:-3}

dpkg -s libdeflate-dev >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libdeflate-dev >/dev/null
# The commit that removed our inflater; its parent is the decoder before.
removed=$(git -C "$root" rev-list -1 HEAD -- src/formats/png/ZlibReader.cpp)
rm -rf "$out" && mkdir -p "$out/before"
git -C "$root" archive "$removed^" src | tar -x -C "$out/before"

compile() { # SOURCE_ROOT EXE
  local sources=() f
  for f in PngChunks PngImageDecoder ZlibReader PngDataInflater Adler32 PngRowConversion PngUnfilter PngWholeInflater; do
    [ -f "$1/src/formats/png/$f.cpp" ] && sources+=("$1/src/formats/png/$f.cpp")
  done
  clang++ -std=c++17 -O3 -DNDEBUG -DQUIVANE_BENCH_LIBDEFLATE=1 -I"$1/src" "$root/bench/native/png_decode_bench.cpp" \
    "$root/bench/native/main.cpp" "${sources[@]}" -lbenchmark -lpthread -ldeflate -lz -o "$2"
}
compile "$out/before" "$out/before_bench"
compile "$root" "$out/after_bench"

files=$(printf '%s:' "$@")
for round in $(seq "$rounds"); do
  for side in before after; do
    QUIVANE_BENCH_PNGS=$files "$out/${side}_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
      --benchmark_format=csv 2>/dev/null | sed -n "s/^\"\(BM_[A-Za-z]*\)\/\([^\"]*\)_median\",[^,]*,\([^,]*\),.*/$side \1 \2 \3/p"
  done
done > "$out/figures.txt"

# Medians of the rounds' medians; ratios as speed-ups (before / after) and against libdeflate.
awk -f "$root/bench/median.awk" -f /dev/stdin "$out/figures.txt" <<'AWK'
  { key = $1 " " $2 " " $3; times[key] = times[key] " " $4; if (!($3 in seen)) { seen[$3] = 1; order[++count] = $3 } }
  END {
    printf "%-20s %10s %10s %9s %8s %13s %11s %11s\n", "file", "before_ms", "after_ms", "speed-up", "target", "libdeflate_ms", "before/lib", "after/lib"
    for (i = 1; i <= count; i++) {
      f = order[i]
      b = median(times["before BM_PngDecode " f]); a = median(times["after BM_PngDecode " f])
      l = median(times["after BM_LibdeflateWhole " f])
      target = (f == "png_photo") ? 1.50 : 0.80
      printf "%-20s %10.2f %10.2f %8.2fx %7.2fx %13.2f %10.2fx %10.2fx %s\n", f, b, a, b / a, target, l, b / l, a / l,
             (b / a >= target) ? "met" : "NOT MET"
    }
  }
AWK
echo "   (speed-up: the whole decode before over after, medians of $rounds rounds of 5 repetitions taken in turns;"
echo "    targets: the photograph at least 1.5x faster, no file slower by more than 25% (0.80x) - the flat screenshot,"
echo "    whose inflate alone may lose 40%, held to the same whole-decode bound; libdeflate inflates only, no unfilter"
echo "    or conversion, from one buffer per frame)"
