#!/usr/bin/env bash
# The 32-bit build in a Wine prefix of its own (BUILD/x86-prefix, made once and
# reused): registered by the prefix's 32-bit regsvr32 into the 32-bit registry
# view, with the preview handler in the system's surrogate for 32-bit handlers;
# then the 32-bit quivane.exe makes, through COM, a thumbnail and a preview of
# each picture format and a thumbnail of one video, and its status is clean;
# unregistering leaves nothing in that view. A smoke set: the whole suite runs
# against the 64-bit build.
set -eu
bin=$1
root=$2
x86=$(cd "$bin/../../windows-x86/bin" && pwd)
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
export WINEPREFIX="$QUIVANE_BUILD_DIR/x86-prefix"
. "$root/tests/support/wine-env.sh"
work="$QUIVANE_BUILD_DIR/windows-test-work/x86_smoke"
started=$(date +%s)

fail() { echo "FAIL: $*"; exit 1; }
w() { timeout -k 10 300 wine "$@" </dev/null; }
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
png_size() { head -c 24 "$1" | tail -c 8 | od -An -tu1 | awk '{print $3*256+$4 "x" $7*256+$8}'; }
# The registry as 32-bit programs see it: through the prefix's 32-bit reg.exe.
reg32='C:\windows\syswow64\reg.exe'
regval32() { # KEY NAME (empty: default): the data in the 32-bit view, or failure
  local out
  if [ -z "$2" ]; then out=$(w "$reg32" query "$1" /ve 2>/dev/null) || return 1
  else out=$(w "$reg32" query "$1" /v "$2" 2>/dev/null) || return 1; fi
  printf '%s\n' "$out" | tr -d '\r' | grep -m1 '    REG_' | sed 's/^.*    REG_[A-Z_]*    //'
}
for file in Quivane.dll quivane.exe QuivaneTestColorConverter.dll; do
  [ -f "$x86/$file" ] || fail "the 32-bit $file was not built"
done
[ -f /usr/lib/wine/wine ] || fail "32-bit Wine (wine32) is not installed"

preview=$(sed -n 's|^// \({[0-9A-F-]*}\)$|\1|p' "$root/src/platform/ServerClasses.h" | sed -n 1p)
preview_slot=$(sed -n 's|^const wchar_t kPreviewHandlerSlot\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
surrogate=$(sed -n 's|^const wchar_t kWow64PreviewSurrogateAppId\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
[ -n "$preview" ] && [ -n "$preview_slot" ] && [ -n "$surrogate" ] || fail "cannot read the identifiers from the sources"
classes='HKLM\Software\Classes'

cleanup() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout -k 10 600 wineboot -i </dev/null >/dev/null 2>&1 || fail "cannot make the prefix $WINEPREFIX"
  timeout -k 10 120 wineserver -w </dev/null >/dev/null 2>&1 || true
fi
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1 || fail "cannot start a Wine server for $WINEPREFIX"
w wineboot >/dev/null 2>&1 || true
rm -rf "$work"
mkdir -p "$work"
# The test prefix's stand-in (Wine has no RGB32 from its source reader), the
# 32-bit one in the 32-bit view.
QUIVANE_REG_VIEW=32 "$root/tests/support/register-test-mf.sh" "$x86/QuivaneTestColorConverter.dll" ||
  fail "cannot register the 32-bit colour converter"

# Registered for the machine by the 32-bit regsvr32, as the setup program does on 64-bit Windows.
dll="$(winpath "$x86/Quivane.dll")"
w 'C:\windows\syswow64\regsvr32.exe' /s /n /i:machine "$dll" || fail "the 32-bit regsvr32 exited $?"
got=$(regval32 "$classes\\CLSID\\$preview\\InprocServer32" "") || fail "no 32-bit class registration"
[ "$got" = "$dll" ] || fail "the 32-bit view's server is '$got'"
got=$(regval32 "$classes\\CLSID\\$preview" AppID) || fail "no AppID in the 32-bit view"
[ "$got" = "$surrogate" ] || fail "the 32-bit preview handler's AppID is '$got', not the system's surrogate $surrogate"
! w reg query "$classes\\CLSID\\$preview" >/dev/null 2>&1 || fail "the 32-bit build wrote the 64-bit view's class"
got=$(regval32 "$classes\\.gif\\shellex\\$preview_slot" "") || fail "no .gif preview slot"
[ "$got" = "$preview" ] || fail ".gif's preview slot is '$got'"

# Thumbnail and preview of each picture format, a thumbnail of one video, all through COM.
for sample in samples/bouncing_ball.gif samples/bouncing_ball.png samples/bouncing_ball.webp tests/fixtures/video/pattern.wmv; do
  name=$(basename "$sample")
  w "$x86/quivane.exe" thumbnail "$(winpath "$root/$sample")" --size 96 --out "$(winpath "$work/$name-t.png")" \
    > "$work/out" 2>&1 || fail "thumbnail of $name exited $?: $(cat "$work/out")"
  grep -q 'from the registered class' "$work/out" || fail "$name's thumbnail not through COM: $(cat "$work/out")"
  size=$(png_size "$work/$name-t.png")
  case "$size" in 96x*|*x96) ;; *) fail "$name's thumbnail is $size" ;; esac
  case "$name" in *.wmv) continue ;; esac
  w "$x86/quivane.exe" preview "$(winpath "$root/$sample")" --size 200x120 --screenshot "$(winpath "$work/$name-p.png")" \
    --after-ms 50 > "$work/out" 2>&1 || fail "preview of $name exited $?: $(cat "$work/out")"
  grep -q 'preview handler from the registered class' "$work/out" || fail "$name's preview not through COM: $(cat "$work/out")"
  [ "$(png_size "$work/$name-p.png")" = "200x120" ] || fail "$name's screenshot is $(png_size "$work/$name-p.png")"
done
[ "$(png_size "$work/pattern.wmv-t.png")" = "96x54" ] || fail "the video's thumbnail is $(png_size "$work/pattern.wmv-t.png")"

# The 32-bit tool's status: its own view all ours and loading.
status=0
w "$x86/quivane.exe" status > "$work/out" 2>&1 || status=$?
[ "$status" = 0 ] || fail "the 32-bit status exited $status: $(grep '^problem' "$work/out")"
grep -q '^32-bit view:$' "$work/out" || fail "the 32-bit status names no 32-bit view: $(head -2 "$work/out")"

w 'C:\windows\syswow64\regsvr32.exe' /s /u /n /i:machine "$dll" || fail "the 32-bit unregistration exited $?"
! w "$reg32" query "$classes\\CLSID\\$preview" >/dev/null 2>&1 || fail "the 32-bit class registration stayed"
! w "$reg32" query "$classes\\.gif\\shellex\\$preview_slot" >/dev/null 2>&1 || fail ".gif's preview slot stayed"
rm -rf "$work"
echo "the 32-bit build registers, makes thumbnails and previews, and unregisters ($(($(date +%s) - started)) s)"
