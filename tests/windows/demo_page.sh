#!/usr/bin/env bash
# The demo's page: two samples and two files it cannot show through the demo's
# own pass (tools/demo-sample.sh, tools/demo-cannot-show.sh),
# the page made of what it left (tools/demo-index.sh), rendered by headless
# Chromium with every picture loaded; a picture that cannot load is seen as such.
set -eu
bin=$1
root=$2
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
work=$QUIVANE_BUILD_DIR/windows-test-work/demo_page
fail() { echo "FAIL: $*"; exit 1; }
# The demo's I is remembered in the prefix's registry: a copy of its own keeps it from other tests.
. "$root/tests/support/private-prefix.sh"
quivane_private_work "$work"
mkdir -p "$work/demo" "$work/chromium"
quivane_private_prefix "$QUIVANE_BUILD_DIR/wineprefix" "$work/prefix" || exit 1
command -v chromium > /dev/null || fail "chromium is missing (./quivane test installs it)"

# Chromium keeps its profile, caches and crash reports in the build tree.
browse() {
  HOME=$work/chromium XDG_CONFIG_HOME=$work/chromium XDG_CACHE_HOME=$work/chromium \
    timeout -k 10 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium/profile" "$@" 2>> "$work/chromium.log"
}
# The pictures the page holds and how many of them loaded, as its script wrote them.
loaded_pictures() {
  browse --dump-dom "file://$page" > "$work/dom.html" || fail "chromium could not load the page: $(tail -5 "$work/chromium.log")"
  sed -n 's/.*<body data-images="\([0-9]*\)" data-loaded="\([0-9]*\)">.*/\1 \2/p' "$work/dom.html"
}

for sample in bouncing_ball.gif still_ball.png; do
  "$root/tools/demo-sample.sh" "$work/demo" "$root/samples/$sample" || fail "the demo pass failed on $sample"
done
"$root/tools/demo-cannot-show.sh" "$work/demo" "$root/samples" || fail "the demo pass failed on files it cannot show"
page=$("$root/tools/demo-index.sh" "$work/demo") || fail "no page"
[ "$page" = "$work/demo/index.html" ] || fail "the page is at $page"

# One row per sample, each with its figures and pictures, none missing.
[ "$(grep -c '^<tr>$' "$page")" = 4 ] || fail "not one row per sample and per file it cannot show"
! grep -q 'class="missing"' "$page" || fail "the page misses a picture: $(grep -o 'no [a-z 0-9]*' "$page")"
for name in bouncing_ball-gif still_ball-png; do
  count=$(awk -F'\t' '$1 == "frames" { print $2 }' "$work/demo/$name-figures.tsv")
  [ "$count" = "$(($(wc -l < "$work/demo/frames/$name/frames.tsv") - 1))" ] || fail "$name: $count frames measured"
  grep -q "<dt>frames</dt><dd>$count</dd>" "$page" || fail "$name: no frame count on the page"
  grep -q "<dt>decode ms</dt><dd>[0-9][0-9.]*</dd>" "$page" || fail "$name: no decode time on the page"
  for picture in thumbnail preview stepped; do
    grep -q "src=\"$name-$picture.png\"" "$page" || fail "$name: no $picture on the page"
  done
  grep -q "src=\"frames/$name/frame_0000.png\"" "$page" || fail "$name: no frame strip"
done

# The panes of files it cannot show, each with what it says.
for name in cut-short notes; do
  grep -q "src=\"cannot-show-$name.png\"" "$page" || fail "no pane of $name on the page"
done
grep -q '<td>Cannot preview this file. The file is damaged or cut short.</td>' "$page" || fail "no words of the cut file"

read -r images loaded < <(loaded_pictures)
[ -n "${images:-}" ] || fail "the page's script did not run: $(head -c 300 "$work/dom.html")"
[ "$images" = "$(grep -o '<img ' "$page" | wc -l)" ] && [ "$images" -ge 10 ] || fail "$images pictures on the page"
[ "$loaded" = "$images" ] || fail "$loaded of $images pictures loaded"
browse --screenshot="$work/page.png" --window-size=1000,800 "file://$page" || fail "no screenshot"
head -c 24 "$work/page.png" | od -An -tx1 | tr -d ' \n' | grep -q '^89504e470d0a1a0a0000000d49484452000003e800000320' \
  || fail "the screenshot is not a 1000x800 PNG"

# A frame that is not a picture: the page's count says so.
printf 'not a PNG' > "$work/demo/frames/bouncing_ball-gif/frame_0001.png"
read -r images loaded < <(loaded_pictures)
[ "$loaded" = $((images - 1)) ] || fail "a broken picture was counted as loaded ($loaded of $images)"

# Nothing to show is an error, not an empty page.
mkdir -p "$work/empty"
! "$root/tools/demo-index.sh" "$work/empty" 2> /dev/null || fail "a page of no samples"
[ ! -e "$work/empty/index.html" ] || fail "an empty page was written"
echo "the demo's page shows every sample"
