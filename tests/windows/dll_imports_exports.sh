#!/usr/bin/env bash
# Quivane.dll and quivane.exe need only system DLLs, and not the media ones
# (loaded on first use: some editions lack them), and the DLL exports the
# server entry points (and the installer's DllInstall) by their plain names;
# each build is for its processor.
#   dll_imports_exports.sh BIN [...]     the 64-bit build in BIN, the 32-bit one beside it
#   dll_imports_exports.sh --arm64 BIN   the ARM64 build in BIN
# Read with LLVM's llvm-readobj, which reads ARM64 files as well (GNU objdump does not).
set -eu
if [ "$1" = --arm64 ]; then
  builds=("$2:ARM64")
else
  builds=("$1:AMD64" "$1/../../windows-x86/bin:I386")
fi
system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shlwapi|shell32|windowscodecs|d2d1|dwrite|propsys|comdlg32|version|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
status=0
# The Name lines of one kind of block (Import, DelayImport, Export) that llvm-readobj prints.
names() { # BINARY BLOCK_PATTERN
  llvm-readobj --coff-imports --coff-exports "$1" | awk -v block="$2" '
    /^[A-Za-z]+ \{$/ { inside = ($1 ~ block) } /^}$/ { inside = 0 }
    inside && /^  Name: / { print $2 }'
}
check() { # FOLDER MACHINE
  local folder=$1 machine=$2 binary dll exports
  if [ ! -f "$folder/Quivane.dll" ]; then
    echo "FAIL: $folder/Quivane.dll was not built"
    status=1
    return
  fi
  for binary in "$folder/Quivane.dll" "$folder/quivane.exe"; do
    if ! llvm-readobj --file-headers "$binary" | grep -q "^  Machine: IMAGE_FILE_MACHINE_$machine "; then
      echo "FAIL: $binary is not for $machine: $(llvm-readobj --file-headers "$binary" | grep -m1 'Machine:')"
      status=1
    fi
    while read -r dll; do
      if ! printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
        echo "FAIL: $binary imports non-system $dll"
        status=1
      fi
    done < <(names "$binary" '^(Import|DelayImport)$')
  done
  exports=$(names "$folder/Quivane.dll" '^Export$' | sort | tr '\n' ' ')
  if [ "$exports" != "$expected" ]; then
    echo "FAIL: $folder/Quivane.dll exports '$exports', expected '$expected'"
    status=1
  fi
}
for build in "${builds[@]}"; do check "${build%:*}" "${build##*:}"; done
[ $status -eq 0 ] && echo "imports and exports as expected"
exit $status
