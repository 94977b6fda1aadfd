#!/usr/bin/env bash
# Registers the test-only colour converter (QuivaneTestColorConverter.dll: Wine's
# source reader gives no RGB32) into the Wine prefix WINEPREFIX:
#   register-test-mf.sh [DLL]
# DLL defaults to $QUIVANE_BUILD_DIR/windows/bin/QuivaneTestColorConverter.dll;
# QuivaneTestMfRegister.exe beside it does the writing (MFTRegister, so the keys
# are laid out as Wine reads them; a 32-bit one's land in the 32-bit view, which
# QUIVANE_REG_VIEW=32 checks). A DLL not built yet is left for a later
# call. Quick when nothing changed: a stamp in the prefix names what was done.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
dll=${1:-${QUIVANE_BUILD_DIR:-}/windows/bin/QuivaneTestColorConverter.dll}
[ -f "$dll" ] || exit 0
dll=$(realpath -- "$dll")
tool=$(dirname "$dll")/QuivaneTestMfRegister.exe
[ -f "$tool" ] || exit 0
[ -f "$WINEPREFIX/system.reg" ] || { echo "register-test-mf: no Wine prefix at $WINEPREFIX" >&2; exit 1; }

clsid='2AB4BF55-A07A-4FDE-A1C6-3135A003CF5A'
windows_dll="Z:${dll//\//\\}"
wanted="$clsid $windows_dll $(cksum <"$tool")"

stamp=$WINEPREFIX/quivane-test-mf.stamp
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi

# A Wine server started here is waited for, so that a caller's "wineserver -p"
# afterwards finds none running; one already running is left alone.
own_server=0
if wineserver -p1 </dev/null >/dev/null 2>&1; then own_server=1; fi
status=0
reg=reg
[ "${QUIVANE_REG_VIEW:-}" != 32 ] || reg='C:\windows\syswow64\reg.exe'
wine "$tool" "$windows_dll" </dev/null >/dev/null || status=$?
# Transform keys are GUIDs without braces; check the entry the reader enumerates.
if [ "$status" -ne 0 ] ||
   ! wine "$reg" query "HKLM\\Software\\Classes\\MediaFoundation\\Transforms\\Categories\\d6c02d4b-6833-45b4-971a-05a4b04bab91\\$clsid" \
     </dev/null >/dev/null 2>&1; then
  echo "register-test-mf: registering $windows_dll in $WINEPREFIX failed" >&2
  [ "$own_server" -eq 0 ] || wineserver -w
  exit 1
fi
[ "$own_server" -eq 0 ] || wineserver -w
printf '%s\n' "$wanted" >"$stamp"
