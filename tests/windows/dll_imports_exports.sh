#!/usr/bin/env bash
# Quivane.dll and quivane.exe, 64-bit and 32-bit, need only system DLLs, and
# not the media ones (loaded on first use: some editions lack them), and the
# DLL exports the server entry points (and the installer's DllInstall) by
# their plain names.
set -eu
bin=$1
bin32=$bin/../../windows-x86/bin
system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shlwapi|shell32|windowscodecs|d2d1|dwrite|propsys|comdlg32|version|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
status=0
check() { # FOLDER OBJDUMP
  local folder=$1 objdump=$2 binary dll exports
  for binary in "$folder/Quivane.dll" "$folder/quivane.exe"; do
    while read -r dll; do
      if ! printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
        echo "FAIL: $binary imports non-system $dll"
        status=1
      fi
    done < <("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p')
  done
  exports=$("$objdump" -p "$folder/Quivane.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z_@0-9]*\)$/\1/p' | sort | tr '\n' ' ')
  if [ "$exports" != "$expected" ]; then
    echo "FAIL: $folder/Quivane.dll exports '$exports', expected '$expected'"
    status=1
  fi
}
check "$bin" x86_64-w64-mingw32-objdump
if [ -f "$bin32/Quivane.dll" ]; then
  check "$bin32" i686-w64-mingw32-objdump
else
  echo "FAIL: the 32-bit Quivane.dll was not built"
  status=1
fi
[ $status -eq 0 ] && echo "imports and exports as expected"
exit $status
