#!/usr/bin/env bash
# quivane.exe's command line: help on standard output with exit 0, a wrong
# command line's reason and usage on standard error with exit 2, a file that
# fails named with its HRESULT in words and exit 1, UTF-8 text with line feeds;
# and ./quivane exe's translation of paths only.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
work=$(realpath -m "$bin/../../windows-test-work/host_tool_cli")
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }
# tool ARGS: runs quivane.exe; its exit code in $status, its output in $work/out and $work/err.
tool() {
  status=0
  "$run" "$bin/quivane.exe" "$@" > "$work/out" 2> "$work/err" </dev/null || status=$?
}
has_cr() { grep -q $'\r' "$@"; }

# Help, for the tool and for each command, in each of its spellings.
for asked in -h --help help; do
  tool "$asked"
  [ "$status" = 0 ] || fail "$asked exited $status"
  [ ! -s "$work/err" ] || fail "$asked wrote to standard error: $(cat "$work/err")"
  cp "$work/out" "$work/help-$asked"
done
cmp -s "$work/help--h" "$work/help-help" && cmp -s "$work/help---help" "$work/help-help" || fail "the help differs by spelling"
help=$work/help-help
! has_cr "$help" || fail "the help has CR line endings"
commands=$(sed -n 's/^usage: quivane \([a-z]*\) .*/\1/p; s/^usage: quivane \([a-z]*\)$/\1/p' "$help")
[ "$(echo "$commands" | wc -w)" -ge 4 ] || fail "the help lists too few commands: $commands"
for command in $commands; do
  tool "$command" --help
  [ "$status" = 0 ] && [ ! -s "$work/err" ] || fail "$command --help exited $status: $(cat "$work/err")"
  head -1 "$work/out" | grep -q "^usage: quivane $command" || fail "$command --help: $(head -1 "$work/out")"
  [[ "$(cat "$help")" == *"$(cat "$work/out")"* ]] || fail "$command --help is not part of the tool's help"
  cp "$work/out" "$work/command-help"
  tool help "$command"
  cmp -s "$work/out" "$work/command-help" || fail "help $command differs from $command --help"
done
# Every option a usage line offers is explained below it, the --keys names included.
for option in $(grep -o '\[--[a-z-]*' "$help" | tr -d '[' | sort -u); do
  grep -q "^  $option " "$help" || fail "$option is not explained in the help"
done
keys=$(sed -n 's/^ *keys for --keys: //p' "$help" | tr -d ' ')
[ -n "$keys" ] || fail "the help names no keys for --keys"

# Wrong command lines: the reason and the usage on standard error, exit 2, nothing done.
cp "$root/samples/bouncing_ball.gif" "$work/ball.gif"
ball=$(winpath "$work/ball.gif")
wrong() { # wrong REASON ARGS...
  local reason=$1
  shift
  tool "$@"
  [ "$status" = 2 ] || fail "'$*' exited $status, not 2: $(cat "$work/err")"
  [ ! -s "$work/out" ] || fail "'$*' wrote to standard output"
  grep -qF -- "$reason" "$work/err" || fail "'$*' did not say '$reason': $(cat "$work/err")"
  grep -q '^usage: quivane' "$work/err" || fail "'$*' printed no usage"
}
# Twice over: the view's keys are remembered for the user, and the second pass
# leaves the shared prefix's view as it was for the previews of other tests.
tool preview "$ball" --keys "$keys,$keys" --screenshot "$(winpath "$work/keys.png")" --after-ms 0
[ "$status" = 0 ] || fail "the keys the help names were not all taken: $(cat "$work/err")"
wrong "--size 0" thumbnail "$ball" --size 0 --out "$(winpath "$work/never.png")"
wrong "--size abc" thumbnail "$ball" --size abc --out "$(winpath "$work/never.png")"
wrong "--size 0x10" preview "$ball" --size 0x10
wrong "unknown key \"bogus\"" preview "$ball" --keys "space,bogus" --screenshot "$(winpath "$work/never.png")"
wrong "unknown option --frobnicate" thumbnail "$ball" --frobnicate
wrong "missing FILE" thumbnail
wrong "missing OUTDIR" frames "$ball"
wrong "--at soon" frames "$ball" "$(winpath "$work/never")" --at soon
wrong "--size needs a value" thumbnail "$ball" --size
wrong "unknown command \"thumbnails\"" thumbnails "$ball"
[ ! -e "$work/never.png" ] && [ ! -e "$work/never" ] || fail "a wrong command line still wrote its output"

# A name outside ASCII is printed whole, in UTF-8, with line feeds only.
cp "$root/samples/bouncing_ball.gif" "$work/bälle-ß.gif"
tool frames "$(winpath "$work/bälle-ß.gif")" "$(winpath "$work/bälle-ß")" --time
[ "$status" = 0 ] || fail "frames of bälle-ß.gif exited $status: $(cat "$work/err")"
grep -qF "frames written to $(winpath "$work/bälle-ß")" "$work/out" || fail "the folder's name is not whole: $(cat "$work/out")"
! has_cr "$work/out" || fail "standard output has CR line endings"
[ -s "$work/bälle-ß/frames.tsv" ] || fail "no frames.tsv in bälle-ß"

# Files that cannot be decoded: one line naming the file, the HRESULT and words; exit 1.
head -c 600 /dev/urandom > "$work/kaputt-ä.png"
bad=$(winpath "$work/kaputt-ä.png")
failed() { # failed ARGS...: exit 1 and a one-line reason that names the file
  tool "$@"
  [ "$status" = 1 ] || fail "'$*' exited $status, not 1: $(cat "$work/err")"
  grep -F "error: $bad: " "$work/err" > "$work/reason" || fail "'$*' did not name the file: $(cat "$work/err")"
  [ "$(wc -l < "$work/reason")" = 1 ] || fail "'$*' gave more than one line: $(cat "$work/reason")"
  grep -Eq ': 0x8[0-9A-F]{7} [A-Za-z]' "$work/reason" || fail "'$*' gave no HRESULT in words: $(cat "$work/reason")"
  ! has_cr "$work/err" || fail "standard error has CR line endings"
}
failed thumbnail "$bad" --out "$(winpath "$work/kaputt-thumbnail.png")"
failed frames "$bad" "$(winpath "$work/kaputt-frames")"
failed preview "$bad" --screenshot "$(winpath "$work/kaputt-preview.png")" --after-ms 50
[ ! -e "$work/kaputt-thumbnail.png" ] && [ ! -e "$work/kaputt-preview.png" ] || fail "a failed file left a picture"
tool thumbnail "$(winpath "$work/not-there.gif")" --out "$(winpath "$work/none.png")"
[ "$status" = 1 ] && grep -q "not-there.gif: cannot open: 0x80070002 [A-Za-z]" "$work/err" \
  || fail "a missing file: exit $status, $(cat "$work/err")"

# ./quivane's own help and its wrong commands, the same way.
for asked in help -h --help; do
  status=0
  "$root/quivane" "$asked" > "$work/out" 2> "$work/err" || status=$?
  [ "$status" = 0 ] && [ ! -s "$work/err" ] || fail "./quivane $asked exited $status: $(cat "$work/err")"
  for command in demo test exe bench; do
    grep -q "^  ./quivane $command" "$work/out" || fail "./quivane $asked does not list $command"
  done
done
status=0
"$root/quivane" tset > "$work/out" 2> "$work/err" || status=$?
[ "$status" = 2 ] && [ ! -s "$work/out" ] && grep -q 'unknown command "tset"' "$work/err" && grep -q '^  ./quivane demo' "$work/err" \
  || fail "./quivane tset: exit $status, $(cat "$work/err")"

# ./quivane exe translates paths only: the command word and values that are
# not paths stay, even where a file or folder of that name exists here.
. "$root/tools/exe-args.sh"
mkdir -p "$work/cwd/frames" "$work/cwd/thumbnail"
: > "$work/cwd/256"
: > "$work/cwd/space"
cd "$work/cwd"
quivane_exe_args frames in.gif out --at 2 --time
[ "${QUIVANE_EXE_ARGS[*]}" = "frames $(winpath in.gif) $(winpath out) --at 2 --time" ] || fail "frames: ${QUIVANE_EXE_ARGS[*]}"
quivane_exe_args thumbnail ../x.gif --size 256 --out t.png
[ "${QUIVANE_EXE_ARGS[*]}" = "thumbnail $(winpath ../x.gif) --size 256 --out $(winpath t.png)" ] || fail "thumbnail: ${QUIVANE_EXE_ARGS[*]}"
quivane_exe_args preview 'C:\a b.gif' --keys space --screenshot 'shot 1.png' -- -odd.gif
[ "${QUIVANE_EXE_ARGS[*]}" = "preview C:\\a b.gif --keys space --screenshot $(winpath 'shot 1.png') -- $(winpath -odd.gif)" ] \
  || fail "preview: ${QUIVANE_EXE_ARGS[*]}"
quivane_exe_args help thumbnail
[ "${QUIVANE_EXE_ARGS[*]}" = "help thumbnail" ] || fail "help: ${QUIVANE_EXE_ARGS[*]}"
cd - > /dev/null
# The translation knows each option the tool has, and which of them take a path.
while read -r option value; do
  case "$value" in
    FILE|*DIR|*.png) kind=path; list=" ${QUIVANE_PATH_OPTIONS[*]} " ;;
    *) kind=value; list=" ${QUIVANE_VALUE_OPTIONS[*]} " ;;
  esac
  [[ "$list" == *" $option "* ]] || fail "tools/exe-args.sh does not know $option takes a $kind"
done < <(grep -o '\[--[a-z-]* [^]]*\]' "$help" | tr -d '[]' | sort -u)
for option in "${QUIVANE_PATH_OPTIONS[@]}" "${QUIVANE_VALUE_OPTIONS[@]}"; do
  grep -q "\[$option " "$help" || fail "tools/exe-args.sh knows $option, which the tool does not have"
done
echo "the host tool's command line behaves"
