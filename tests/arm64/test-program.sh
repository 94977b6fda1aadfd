#!/usr/bin/env bash
# One of the Windows-side test programs, built for ARM64, run by arm64 Wine
# under qemu-user: test-program.sh BUILD SOURCE NAME
set -eu
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
. "$SOURCE/tests/arm64/arm64-env.sh"
program=$BUILD/windows-arm64/bin/$3.exe
[ -f "$program" ] || fail "$program was not built"
start_wineserver
# From a folder of the build tree: whatever the program writes to its current folder stays there.
work=$BUILD/windows-test-work/arm64
mkdir -p "$work"
cd "$work"
wine_arm64 "$program"
