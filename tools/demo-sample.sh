#!/usr/bin/env bash
# One sample through the demo, as ./quivane demo runs each:
#   demo-sample.sh OUTDIR SAMPLE
# NAME is the sample's name and type (bouncing_ball-gif). Writes into OUTDIR
# NAME-thumbnail.png (256 px), NAME-preview.png (after 600 ms of playback),
# NAME-stepped.png (after I, Space, Right, Right: paused, with the
# information line), frames/NAME/ (every frame and
# frames.tsv; for a video, frames/NAME-played/ with the pane every 250 ms of
# 2 s played from its still) and NAME-figures.tsv (the file's size and what the tool measured);
# what the tool said goes to logs/NAME.log, printed when a step fails.
# Needs the Windows build in QUIVANE_BUILD_DIR and a display for Wine.
set -eu
out=$1
sample=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/exe-args.sh"
exe=${QUIVANE_BUILD_DIR:?set QUIVANE_BUILD_DIR}/windows/bin/quivane.exe
name=$(basename -- "$sample")
name=${name%.*}-${sample##*.}
mkdir -p "$out/logs" "$out/frames"
log=$out/logs/$name.log
figures=$out/$name-figures.tsv
: > "$log"
printf 'file\t%s\nbytes\t%s\n' "$(basename -- "$sample")" "$(stat -c %s -- "$sample")" > "$figures"

# quivane.exe ARGS: everything it says to the log, its figures (name TAB value) to NAME-figures.tsv.
run() {
  local said status=0
  quivane_exe_args "$@"
  printf '$ quivane %s\n' "$*" >> "$log"
  said=$("$here/../tests/support/wine-run" "$exe" "${QUIVANE_EXE_ARGS[@]}" 2>>"$log" </dev/null) || status=$?
  printf '%s\n' "$said" >> "$log"
  printf '%s\n' "$said" | grep $'^[a-z_][a-z_]*\t' >> "$figures" || true
  if [ "$status" -ne 0 ]; then
    cat "$log" >&2
    echo "demo-sample: quivane $1 failed on $sample (exit $status)" >&2
    exit 1
  fi
}

run thumbnail "$sample" --size 256 --out "$out/$name-thumbnail.png" --time
# The sample playing in the preview handler, hosted as the shell hosts it:
# after 600 ms of playback, then after stepping two frames on and pausing.
run preview "$sample" --screenshot "$out/$name-preview.png" --after-ms 600 --time
run preview "$sample" --keys i,space,right,right --screenshot "$out/$name-stepped.png" --after-ms 200
# I is remembered for the next window: the next sample starts without the line again.
"$here/../tests/support/wine-run" reg.exe delete 'HKCU\Software\Quivane' /v ShowInformation /f >> "$log" 2>&1 || true
run frames "$sample" "$out/frames/$name" --time
# A video played: the pane at each quarter second of two seconds after Space.
case ${sample##*.} in
  mp4 | m4v | mov | wmv | avi | mkv | webm)
    mkdir -p "$out/frames/$name-played"
    for ms in 250 500 750 1000 1250 1500 1750 2000; do
      run preview "$sample" --keys space --screenshot "$out/frames/$name-played/played-$ms.png" --after-ms "$ms"
    done
    ;;
esac
