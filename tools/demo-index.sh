#!/usr/bin/env bash
# The demo's page: demo-index.sh DEMODIR writes DEMODIR/index.html with one row
# per sample that tools/demo-sample.sh left there (NAME-figures.tsv): its
# thumbnail, its two preview pictures, a strip of its frames and the figures
# measured; then the panes of the files tools/demo-cannot-show.sh left
# (cannot-show.tsv), with what each pane says. Prints the page's path.
set -eu
dir=${1:?usage: demo-index.sh DEMODIR}
strip_limit=${QUIVANE_DEMO_STRIP_FRAMES:-24} # frames shown per sample; the rest are counted

text() {
  local s=$1
  s=${s//&/&amp;}; s=${s//</&lt;}; s=${s//>/&gt;}; s=${s//\"/&quot;}
  printf '%s' "$s"
}
# A relative address: every byte but letters, digits and ._~/- percent-encoded.
address() {
  local LC_ALL=C s=$1 out='' c i
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    case "$c" in
      [A-Za-z0-9._~/-]) out+=$c ;;
      *) printf -v c '%%%02X' "'$c"; out+=$c ;;
    esac
  done
  printf '%s' "$out"
}
# The value (or values) of one figure: figure FILE NAME [FIELD]
figure() { awk -F'\t' -v key="$2" -v field="${3:-2}" '$1 == key { print $field; exit }' "$1"; }
picture() { # picture FILE ALT
  if [ -f "$dir/$1" ]; then
    printf '<img src="%s" alt="%s">' "$(address "$1")" "$(text "$2")"
  else
    printf '<span class="missing">no %s</span>' "$(text "$2")"
  fi
}

shopt -s nullglob
rows=("$dir"/*-figures.tsv)
[ ${#rows[@]} -gt 0 ] || { echo "demo-index: no samples (NAME-figures.tsv) in $dir" >&2; exit 1; }

page=$dir/index.html
{
  cat <<'HEAD'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Quivane demo</title>
<style>
body { font: 14px/1.4 sans-serif; margin: 16px; color: #222; }
table { border-collapse: collapse; }
th, td { border-bottom: 1px solid #ccc; padding: 8px; vertical-align: top; text-align: left; }
td.pictures img { max-width: 220px; max-height: 160px; }
.checker { background: repeating-conic-gradient(#ddd 0 25%, #fff 0 50%) 0 0 / 16px 16px; }
.strip { width: 440px; }
.strip img { height: 40px; margin: 0 2px 2px 0; }
dl { margin: 0; display: grid; grid-template-columns: auto auto; gap: 0 8px; }
dt { color: #666; white-space: nowrap; } dd { margin: 0; }
.missing { color: #b00; }
</style>
</head>
<body>
<h1>Quivane demo</h1>
<p>Each sample as Explorer would get it from Quivane.dll under Wine: the thumbnail (256 px), the preview pane after
600 ms and after I, Space, Right, Right (paused, with the information line), and every decoded frame; a video
also played from its still for 2 s, the pane every 250 ms. Times are those this run measured.</p>
<table>
<tr><th>Sample</th><th>Thumbnail</th><th>Preview</th><th>Stepped</th><th>Frames</th></tr>
HEAD
  for figures in "${rows[@]}"; do
    name=$(basename -- "$figures" -figures.tsv)
    tsv=$dir/frames/$name/frames.tsv
    count=$(figure "$figures" frames)
    size=""
    [ -f "$tsv" ] && size=$(awk -F'\t' 'NR == 2 { print $4 " x " $5 }' "$tsv")
    printf '<tr>\n<td><strong>%s</strong>\n<dl>\n' "$(text "$name")"
    for entry in "file:$(figure "$figures" file)" "bytes:$(figure "$figures" bytes)" "size:$size" \
                 "frames:$count" "decode ms:$(figure "$figures" decode_ms)" \
                 "ms per frame:$(figure "$figures" ms_per_frame)" \
                 "first frame ms:$(figure "$figures" first_frame_ms)" \
                 "thumbnail ms:$(figure "$figures" get_thumbnail_ms)" \
                 "still at s:$(figure "$figures" position_s)" "duration s:$(figure "$figures" duration_s)"; do
      [ -n "${entry#*:}" ] && printf '<dt>%s</dt><dd>%s</dd>\n' "$(text "${entry%%:*}")" "$(text "${entry#*:}")"
    done
    printf '</dl></td>\n'
    printf '<td class="pictures checker">%s</td>\n' "$(picture "$name-thumbnail.png" thumbnail)"
    printf '<td class="pictures">%s</td>\n' "$(picture "$name-preview.png" preview)"
    printf '<td class="pictures">%s</td>\n' "$(picture "$name-stepped.png" "stepped preview")"
    printf '<td class="strip checker">'
    if [ -f "$tsv" ]; then
      shown=0
      while IFS=$'\t' read -r index file _; do
        [ "$index" = index ] && continue
        [ "$shown" -ge "$strip_limit" ] && break
        picture "frames/$name/$file" "frame $index"
        shown=$((shown + 1))
      done < "$tsv"
      total=$(($(wc -l < "$tsv") - 1))
      [ "$total" -gt "$shown" ] && printf '<br>and %d more' $((total - shown))
    else
      printf '<span class="missing">no frames</span>'
    fi
    played=$(ls "$dir/frames/$name-played" 2>/dev/null | sort -t- -k2 -n || true)
    if [ -n "$played" ]; then
      printf '<br>played for 2 s, every 250 ms:<br>'
      for file in $played; do
        ms=${file#played-}
        picture "frames/$name-played/$file" "played ${ms%.png} ms"
      done
    fi
    printf '</td>\n</tr>\n'
  done
  printf '</table>\n'
  if [ -s "$dir/cannot-show.tsv" ]; then
    printf '<h2>Files it cannot show</h2>\n<table>\n<tr><th>File</th><th>Preview</th><th>The pane says</th></tr>\n'
    while IFS=$'\t' read -r name says; do
      printf '<tr>\n<td><strong>%s</strong></td>\n' "$(text "$name")"
      printf '<td class="pictures">%s</td>\n' "$(picture "cannot-show-$name.png" "pane of $name")"
      printf '<td>%s</td>\n</tr>\n' "$(text "$says")"
    done < "$dir/cannot-show.tsv"
    printf '</table>\n'
  fi
  cat <<'TAIL'
<script>
// How many pictures arrived, for a headless check of the page (--dump-dom).
addEventListener("load", function () {
  var loaded = 0;
  for (var i = 0; i < document.images.length; ++i) {
    if (document.images[i].complete && document.images[i].naturalWidth > 0) ++loaded;
  }
  document.body.setAttribute("data-images", document.images.length);
  document.body.setAttribute("data-loaded", loaded);
});
</script>
</body>
</html>
TAIL
} > "$page.tmp"
mv "$page.tmp" "$page"
echo "$page"
