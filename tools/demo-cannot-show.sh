#!/usr/bin/env bash
# The pane of files the preview cannot show, as ./quivane demo runs it:
#   demo-cannot-show.sh OUTDIR SAMPLESDIR
# Makes a GIF cut short and a file in no picture's format, and writes for each
# OUTDIR/cannot-show-NAME.png (the pane's picture) and a line of
# OUTDIR/cannot-show.tsv (NAME TAB what the pane says); what the tool said
# goes to logs/cannot-show-NAME.log.
# Needs the Windows build in QUIVANE_BUILD_DIR and a display for Wine.
set -eu
out=$1
samples=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/exe-args.sh"
exe=${QUIVANE_BUILD_DIR:?set QUIVANE_BUILD_DIR}/windows/bin/quivane.exe
work=$out/cannot-show
mkdir -p "$out/logs" "$work"
head -c 40 "$samples/bouncing_ball.gif" > "$work/cut-short.gif"
printf 'Plain words, in no format a picture has.\n' > "$work/notes.qvx"
: > "$out/cannot-show.tsv"
for file in "$work/cut-short.gif" "$work/notes.qvx"; do
  name=$(basename -- "$file")
  name=${name%.*}
  log=$out/logs/cannot-show-$name.log
  quivane_exe_args preview "$file" --size 480x200 --screenshot "$out/cannot-show-$name.png" --screenshot-failed \
    --after-ms 0
  status=0
  said=$("$here/../tests/support/wine-run" "$exe" "${QUIVANE_EXE_ARGS[@]}" 2>"$log" </dev/null) || status=$?
  printf '%s\n' "$said" >> "$log"
  # The tool ends a file it cannot show with exit code 1, after the picture.
  if [ "$status" -ne 1 ] || [ ! -s "$out/cannot-show-$name.png" ]; then
    cat "$log" >&2
    echo "demo-cannot-show: $name exited $status" >&2
    exit 1
  fi
  printf '%s\t%s\n' "$name" "$(printf '%s\n' "$said" | awk -F'\t' '$1 == "pane_says" { print $2; exit }')" \
    >> "$out/cannot-show.tsv"
done
