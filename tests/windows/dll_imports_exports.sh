#!/usr/bin/env bash
# Quivane.dll and quivane.exe need only system DLLs, and not the media ones
# (loaded on first use: some editions lack them), and the DLL exports the
# server entry points (and the installer's DllInstall) by their plain names.
set -eu
bin=$1
objdump=x86_64-w64-mingw32-objdump
system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shlwapi|shell32|windowscodecs|d2d1|propsys|comdlg32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
status=0
for binary in "$bin/Quivane.dll" "$bin/quivane.exe"; do
  while read -r dll; do
    if ! printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
      echo "FAIL: $(basename "$binary") imports non-system $dll"
      status=1
    fi
  done < <("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done
exports=$("$objdump" -p "$bin/Quivane.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z_@0-9]*\)$/\1/p' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
if [ "$exports" != "$expected" ]; then
  echo "FAIL: exports are '$exports', expected '$expected'"
  status=1
fi
[ $status -eq 0 ] && echo "imports and exports as expected"
exit $status
