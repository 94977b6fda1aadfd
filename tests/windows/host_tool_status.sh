#!/usr/bin/env bash
# quivane.exe status: all ours after a clean registration (exit 0); a type
# another handler took is named with its class, a moved DLL is reported
# missing, and a system without Media Foundation is told so (exit 1, one
# line per problem). Registers and unregisters the server in the shared prefix.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
work=$(realpath -m "$bin/../../windows-test-work/host_tool_status")
rm -rf "$work"
mkdir -p "$work"
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }
status() { # status [ENV...]: runs quivane.exe status; exit code in $code, output in $work/out
  code=0
  env "$@" "$run" "$bin/quivane.exe" status > "$work/out" 2> "$work/err" </dev/null || code=$?
}
regsvr() { "$run" regsvr32.exe /s "$@" > /dev/null 2>&1; }
reg() { "$run" reg.exe "$@" > /dev/null 2>&1; }
problems() { grep -c '^problem: ' "$work/out" || true; }

other='{C7657C4A-9F68-40FA-A4DF-96BC08EB3551}'
thumbnail_slot=$(sed -n 's|^const wchar_t kThumbnailHandlerSlot\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
cleanup() {
  regsvr /u "$(winpath "$bin/Quivane.dll")" || true
  # Unregistering gave .png back the other handler, as it should: that goes too.
  reg delete "HKCU\\Software\\Classes\\.png\\shellex\\$thumbnail_slot" /f || true
  reg delete "HKCU\\Software\\Classes\\CLSID\\$other" /f || true
  rm -rf "$work"
}
trap cleanup EXIT

# A clean registration: every slot ours, both classes load, nothing to do.
regsvr "$(winpath "$bin/Quivane.dll")" || fail "regsvr32 could not register Quivane.dll"
status
[ "$code" = 0 ] || fail "status after a clean registration exited $code: $(grep '^problem' "$work/out")"
[ "$(problems)" = 0 ] || fail "problems after a clean registration"
grep -q '^  \.gif *preview *ours ' "$work/out" || fail "no line says .gif's preview is ours: $(head -3 "$work/out")"
grep -q '^  \.png *thumbnail *ours ' "$work/out" || fail "no line says .png's thumbnail is ours"
grep -q "preview handler {.*}: .*Quivane.dll (version [0-9.]*, x64, present, .*), loads$" "$work/out" \
  || fail "the preview handler's DLL, version, build and load are not reported: $(grep 'preview handler' "$work/out")"
grep -q '^machine: x64, this tool: x64$' "$work/out" || fail "the machine and the tool's build are not reported: $(head -1 "$work/out")"
grep -q "thumbnail provider {.*}: .*, loads$" "$work/out" || fail "the thumbnail provider does not load"
grep -q '^Media Foundation: present$' "$work/out" || fail "Media Foundation not reported present"
grep -q '^WebP decoder: built in$' "$work/out" || fail "the built-in WebP decoder is not reported"

# Another handler takes .png's thumbnail for the user: named with its class, and what to do.
reg add "HKCU\\Software\\Classes\\CLSID\\$other" /ve /d 'Other Thumbnailer' /f
reg add "HKCU\\Software\\Classes\\CLSID\\$other\\InprocServer32" /ve /d 'C:\Other\other.dll' /f
reg add "HKCU\\Software\\Classes\\.png\\shellex\\$thumbnail_slot" /ve /d "$other" /f
status
[ "$code" = 1 ] || fail "status with .png taken over exited $code"
grep -q "^  \\.png *thumbnail *other *$other \"Other Thumbnailer\" (C:\\\\Other\\\\other.dll)" "$work/out" \
  || fail "the other handler is not named: $(grep '\.png' "$work/out")"
grep "^problem: \\.png thumbnail .*$other \"Other Thumbnailer\".*run the setup program again" "$work/out" > /dev/null \
  || fail "no problem line for .png says what to do: $(grep '^problem' "$work/out")"
grep -q '^problem: \.gif' "$work/out" && fail "a type still ours is reported: $(grep '^problem' "$work/out")"
regsvr "$(winpath "$bin/Quivane.dll")" || fail "registering again failed"
status
[ "$code" = 0 ] || fail "registering again did not take .png back: $(grep '^problem' "$work/out")"

# The DLL registered from a folder, then moved away: reported missing, where it was.
mkdir -p "$work/installed"
cp "$bin/Quivane.dll" "$work/installed/Quivane.dll"
regsvr "$(winpath "$work/installed/Quivane.dll")" || fail "cannot register the copy"
mv "$work/installed" "$work/moved"
status
[ "$code" = 1 ] || fail "status with the DLL moved exited $code"
grep -qF "problem: the preview handler's DLL is missing at $(winpath "$work/installed/Quivane.dll")" "$work/out" \
  || fail "the moved DLL is not reported missing: $(grep '^problem' "$work/out")"
grep -q '^problem: the thumbnail provider.s DLL is missing' "$work/out" || fail "the thumbnail provider's DLL is not reported"
regsvr "$(winpath "$bin/Quivane.dll")" || fail "registering the build's DLL failed"

# The 32-bit build where the 64-bit view needs the x64 one: named, with the build it needs.
mkdir -p "$work/swapped"
cp "$bin/Quivane.dll" "$work/swapped/Quivane.dll"
regsvr "$(winpath "$work/swapped/Quivane.dll")" || fail "cannot register the copy to swap"
cp "$bin/../../windows-x86/bin/Quivane.dll" "$work/swapped/Quivane.dll"
status
[ "$code" = 1 ] || fail "status with the x86 build in the 64-bit view exited $code"
grep -qF "problem: the preview handler's DLL at $(winpath "$work/swapped/Quivane.dll") is the x86 build, but the 64-bit view of this x64 machine needs the x64 build" \
  "$work/out" || fail "the wrong build is not reported: $(grep '^problem' "$work/out")"
regsvr "$(winpath "$bin/Quivane.dll")" || fail "registering the build's DLL after the swap failed"

# Unregistering gives .png back the handler it had before the registration that took it.
regsvr /u "$(winpath "$bin/Quivane.dll")" || fail "unregistering failed"
status
grep -q "^  \\.png *thumbnail *other *$other " "$work/out" || fail ".png's handler was not given back: $(grep '\.png' "$work/out")"
regsvr "$(winpath "$bin/Quivane.dll")" || fail "registering once more failed"

# Media Foundation hidden from the tool's process: said, with what to do; the rest stays fine.
status WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;mfplat=d"
[ "$code" = 1 ] || fail "status without Media Foundation exited $code"
grep -q '^Media Foundation: missing$' "$work/out" || fail "Media Foundation not reported missing"
grep -q '^problem: Media Foundation is missing .*Media Feature Pack' "$work/out" || fail "no problem line for Media Foundation"
[ "$(problems)" = 1 ] || fail "other problems without Media Foundation: $(grep '^problem' "$work/out")"
echo "status reports what Explorer uses and what to do"
