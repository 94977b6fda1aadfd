#!/usr/bin/env bash
# Our whole decode of a file, every frame composed, beside another decoder's
# in the same process, natively, each ratio beside its target:
#   webp_typical: libwebp's own animation decoder (WebPAnimDecoder, the same libwebp 1.2.4), at most 1.05x;
#   gif_large: Debian's libav (gif demuxer and decoder, to BGRA), at most 1.0x.
# The two of a row run in random turns (QUIVANE_BENCH_ROUNDS processes of 3
# repetitions each); medians of CPU time. libav's -dev packages are installed
# when missing and native_bench rebuilt with them; without them its row says so.
#   bench/reference_decoders.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$1
corpus=$2
rounds=${QUIVANE_BENCH_ROUNDS:-3}
libav=(libavformat-dev libavcodec-dev libavutil-dev)

if ! pkg-config --exists libavformat libavcodec libavutil 2>/dev/null; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${libav[@]}"; } >/dev/null 2>&1 || echo "   (could not install ${libav[*]})"
fi
# Configured before libav was there, the build finds it now.
if pkg-config --exists libavformat libavcodec libavutil 2>/dev/null && ! grep -q '^LIBAV_FOUND:INTERNAL=1' "$build/CMakeCache.txt"; then
  cmake "$build" >/dev/null && cmake --build "$build" --target native_bench >/dev/null
fi

for round in $(seq "$rounds"); do
  QUIVANE_BENCH_WEBPS=$corpus/webp_typical.webp QUIVANE_BENCH_GIFS=$corpus/gif_large.gif "$build/native_bench" \
    --benchmark_filter='^BM_(WebPDecode|WebPAnimDecoder|GifWholeFile|LibavGifDecode)/' --benchmark_repetitions=3 \
    --benchmark_enable_random_interleaving=true --benchmark_format=csv 2>/dev/null |
    sed -n 's/^"\(BM_[A-Za-z]*\)\/\(webp_typical\|gif_large\)",[^,]*,[^,]*,\([^,]*\),.*/\1 \2 \3/p'
done > "$build/reference-decoders.txt"

awk -f "$(dirname "$0")/median.awk" -f /dev/stdin "$build/reference-decoders.txt" <<'AWK'
  { times[$1] = times[$1] " " $3 }
  function row(file, ours, reference, name, target) {
    if (times[reference] == "") {
      printf "%-14s %9.2f %9s %-16s %7s %7.2fx skipped: %s\n", file, median(times[ours]), "-", name, "-", target,
             name == "libav" ? "libav's -dev packages are absent" : "no reference"
      return
    }
    o = median(times[ours]); r = median(times[reference])
    printf "%-14s %9.2f %9.2f %-16s %6.2fx %7.2fx %s\n", file, o, r, name, o / r, target, (o / r <= target) ? "met" : "NOT MET"
  }
  END {
    printf "%-14s %9s %9s %-16s %7s %8s\n", "file", "ours_ms", "ref_ms", "reference", "ratio", "target"
    row("webp_typical", "BM_WebPDecode", "BM_WebPAnimDecoder", "WebPAnimDecoder", 1.05)
    row("gif_large", "BM_GifWholeFile", "BM_LibavGifDecode", "libav", 1.0)
  }
AWK
echo "   (ratio: ours over the reference, whole decode from the file's bytes in memory, every frame composed on one"
echo "    thread; medians of $rounds rounds of 3 repetitions taken in random turns, CPU time)"
