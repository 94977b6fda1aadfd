#!/usr/bin/env bash
# The setup program's choice of build for the 64-bit registry view, by its
# own logic (installer/Builds.nsh) for each machine: ARM64 on Windows on ARM,
# x64 on x64 Windows, none where there is no 64-bit view; and under Wine on
# this x64 machine, x64, read through IsWow64Process2 as the setup program reads it.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
work=$(realpath -m "$bin/../../windows-test-work/installer_builds")
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
"$run" "$bin/installer_builds.exe" "/out=$(winpath "$work/choices")" > "$work/out" 2>&1 ||
  { echo "FAIL: installer_builds.exe exited $?: $(cat "$work/out")"; exit 1; }
expected='0xAA64 ARM64
0x8664 x64
0x14C 
0x1C4 
0 
0x8664 x64'
got=$(tr -d '\r' < "$work/choices")
if [ "$got" != "$expected" ]; then
  printf 'FAIL: the choices are\n%s\nexpected\n%s\n' "$got" "$expected"
  exit 1
fi
echo "the setup program chooses ARM64 on Windows on ARM, x64 on x64, none on 32-bit Windows"
