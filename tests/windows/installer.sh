#!/usr/bin/env bash
# Quivane-Setup.exe in a Wine prefix of its own (BUILD/installer-prefix, made
# once and reused; a run that finds an install in it starts from a new one):
# silent per-user install of both builds (64-bit, and 32-bit in x86\), its
# files, registry rows in both views and uninstall entry, a
# thumbnail through COM from the installed copy, an upgrade while a process
# holds the DLL loaded, a machine-wide install beside it, and silent
# uninstalls (one of them while the DLL is held) that leave nothing of ours
# and everything of others, and give back the handler another product had
# set on .png before.
set -eu
bin=$(cd "$1" && pwd)
bin32=$(cd "$bin/../../windows-x86/bin" && pwd)
root=$(cd "$2" && pwd)
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
export WINEPREFIX="$QUIVANE_BUILD_DIR/installer-prefix"
. "$root/tests/support/wine-env.sh"
work="$QUIVANE_BUILD_DIR/installer-work"
setup="$bin/Quivane-Setup.exe"
started=$(date +%s)

fail() { echo "FAIL: $*"; exit 1; }
# Every Windows program runs time-limited, with no terminal of ours attached.
w() { timeout -k 10 300 wine "$@" </dev/null; }
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
png_size() { head -c 24 "$1" | tail -c 8 | od -An -tu1 | awk '{print $3*256+$4 "x" $7*256+$8}'; }
# Waits for a state, not for a time: up to two minutes, then reports failure.
wait_until() {
  local deadline=$(($(date +%s) + 120))
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# The data of one value (empty NAME: the key's default), or failure when absent.
regval() {
  local out
  if [ -z "$2" ]; then out=$(w reg query "$1" /ve 2>/dev/null) || return 1
  else out=$(w reg query "$1" /v "$2" 2>/dev/null) || return 1; fi
  printf '%s\n' "$out" | tr -d '\r' | grep -m1 '    REG_' | sed 's/^.*    REG_[A-Z_]*    //'
}
haskey() { w reg query "$1" >/dev/null 2>&1; }
expect_value() { # KEY NAME EXPECTED
  local got
  got=$(regval "$1" "$2") || fail "$1 [$2] is missing"
  [ "$got" = "$3" ] || fail "$1 [$2] is '$got', expected '$3'"
}

preview=$(sed -n 's|^// \({[0-9A-F-]*}\)$|\1|p' "$root/src/platform/ServerClasses.h" | sed -n 1p)
thumbnail=$(sed -n 's|^// \({[0-9A-F-]*}\)$|\1|p' "$root/src/platform/ServerClasses.h" | sed -n 2p)
preview_slot=$(sed -n 's|^const wchar_t kPreviewHandlerSlot\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
thumbnail_slot=$(sed -n 's|^const wchar_t kThumbnailHandlerSlot\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
version=$(sed -n 's/^project(Quivane VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[ -n "$preview" ] && [ -n "$thumbnail" ] && [ -n "$preview_slot" ] && [ -n "$thumbnail_slot" ] && [ -n "$version" ] ||
  fail "cannot read the class identifiers or the version from the sources"
[ -f "$setup" ] || fail "$setup was not built"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quivane'
classes='Software\Classes'
replaced='Software\Quivane\Replaced'
surrogate32=$(sed -n 's|^const wchar_t kWow64PreviewSurrogateAppId\[\] = L"\(.*\)";|\1|p' "$root/src/com/RegistryLayout.cpp")
[ -n "$surrogate32" ] || fail "cannot read the 32-bit surrogate's AppID from the sources"
[ -f "$bin32/Quivane.dll" ] || fail "the 32-bit Quivane.dll was not built"
# Another product's thumbnail handler on .png, set before the install (per user and for the machine).
other_thumbnailer='{C7657C4A-9F68-40FA-A4DF-96BC08EB3551}'

holder_pid=""
cleanup() {
  [ -d "$work" ] && touch "$work/release"
  [ -n "$holder_pid" ] && wait "$holder_pid" 2>/dev/null || true
  # The prefix's own server, and with it every program still running there.
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT

# A prefix a failed run left an install in is made again: the checks start uninstalled.
if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.quivane-installer-dirty" ]; then
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout -k 10 600 wineboot -i </dev/null >/dev/null 2>&1 || fail "cannot make the prefix $WINEPREFIX"
  timeout -k 10 120 wineserver -w </dev/null >/dev/null 2>&1 || true
fi
# One persistent server for the whole run, holding no pipe of ours (the
# prefix's services start with it), in place of any an interrupted run left.
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1 || fail "cannot start a Wine server for $WINEPREFIX"
w wineboot >/dev/null 2>&1 || true
rm -rf "$work"
mkdir -p "$work"
touch "$WINEPREFIX/.quivane-installer-dirty"

localappdata=$(w cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
programfiles=$(w cmd /c 'echo %ProgramW6432%' 2>/dev/null | tr -d '\r')
user_dir="$localappdata\\Programs\\Quivane"
machine_dir="$programfiles\\Quivane"
user_unix=$(wine winepath -u "$user_dir" 2>/dev/null </dev/null | tr -d '\r')
machine_unix=$(wine winepath -u "$machine_dir" 2>/dev/null </dev/null | tr -d '\r')
[ -n "$localappdata" ] && [ -n "$user_unix" ] && [ -n "$machine_unix" ] || fail "cannot find the prefix's folders"
[ ! -e "$user_unix" ] && ! haskey "HKCU\\$uninstall_key" || fail "the prefix is not in an uninstalled state"

# Another handler's rows below .gif: uninstalling must leave them.
w reg add "HKCU\\$classes\\.gif\\shellex\\ContextMenuHandlers\\Other" /ve /d '{11111111-2222-3333-4444-555555555555}' /f \
  >/dev/null 2>&1 || fail "cannot add the other handler's row"
for hive in HKCU HKLM; do
  w reg add "$hive\\$classes\\.png\\shellex\\$thumbnail_slot" /ve /d "$other_thumbnailer" /f >/dev/null 2>&1 ||
    fail "cannot set the other thumbnail handler on .png in $hive"
done

# --- silent per-user install
w "$setup" /S > "$work/out" 2>&1 || fail "setup /S exited $?: $(cat "$work/out")"
for file in Quivane.dll quivane.exe Uninstall.exe x86/Quivane.dll x86/quivane.exe libwebp-COPYING.txt \
    libdeflate-COPYING.txt zlib-LICENSE.txt; do
  [ -f "$user_unix/$file" ] || fail "$file is not in $user_unix"
done
cmp -s "$bin/libwebp-COPYING.txt" "$user_unix/libwebp-COPYING.txt" || fail "the installed libwebp licence is not the built one"
grep -q "Redistribution and use in source and binary forms" "$user_unix/libwebp-COPYING.txt" ||
  fail "libwebp-COPYING.txt holds no BSD licence text"
grep -q "Permission is hereby granted" "$user_unix/libdeflate-COPYING.txt" || fail "libdeflate-COPYING.txt holds no MIT licence text"
grep -q "Jean-loup Gailly and Mark Adler" "$user_unix/zlib-LICENSE.txt" || fail "zlib-LICENSE.txt holds no zlib licence text"
cmp -s "$bin/Quivane.dll" "$user_unix/Quivane.dll" || fail "the installed Quivane.dll is not the built one"
cmp -s "$bin/quivane.exe" "$user_unix/quivane.exe" || fail "the installed quivane.exe is not the built one"
cmp -s "$bin32/Quivane.dll" "$user_unix/x86/Quivane.dll" || fail "the installed x86\\Quivane.dll is not the 32-bit build"
cmp -s "$bin32/quivane.exe" "$user_unix/x86/quivane.exe" || fail "the installed x86\\quivane.exe is not the 32-bit build"

# The registration rows, per user only, naming the installed DLL.
for clsid in "$preview" "$thumbnail"; do
  expect_value "HKCU\\$classes\\CLSID\\$clsid\\InprocServer32" "" "$user_dir\\Quivane.dll"
  expect_value "HKCU\\$classes\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
  ! haskey "HKLM\\$classes\\CLSID\\$clsid" || fail "a per-user install registered $clsid for the machine"
done
expect_value "HKCU\\$classes\\.gif\\shellex\\$thumbnail_slot" "" "$thumbnail"
expect_value "HKCU\\$classes\\.gif\\shellex\\$preview_slot" "" "$preview"
# .png's thumbnail slot is ours now, and what it held is on record.
expect_value "HKCU\\$classes\\.png\\shellex\\$thumbnail_slot" "" "$thumbnail"
expect_value "HKCU\\$replaced" "$classes\\.png\\shellex\\$thumbnail_slot" "$other_thumbnailer"

# The uninstall entry Settings lists.
key="HKCU\\$uninstall_key"
expect_value "$key" DisplayName Quivane
expect_value "$key" DisplayVersion "$version"
expect_value "$key" Publisher Quivane
expect_value "$key" UninstallString "\"$user_dir\\Uninstall.exe\""
expect_value "$key" QuietUninstallString "\"$user_dir\\Uninstall.exe\" /S"
expect_value "$key" NoModify 0x1
expect_value "$key" NoRepair 0x1
size=$(regval "$key" EstimatedSize) || fail "no EstimatedSize"
kb=$(( $(find "$user_unix" -type f -exec cat {} + | wc -c) / 1024 ))
[ $((size)) -ge "$kb" ] && [ $((size)) -le $((kb + 4)) ] || fail "EstimatedSize is $((size)) KB for $kb KB of files"
! haskey "HKLM\\$uninstall_key" || fail "a per-user install wrote the machine's uninstall entry"

# A thumbnail made by COM from the installed copy.
gif="$root/samples/bouncing_ball.gif"
read -r gw gh < <(head -c 10 "$gif" | od -An -tu1 | awk '{print $7+256*$8, $9+256*$10}')
expected="96x$(( (96 * gh + gw / 2) / gw ))"
[ "$gw" -ge "$gh" ] || expected="$(( (96 * gw + gh / 2) / gh ))x96"
# Wine 8's HKEY_CLASSES_ROOT holds the machine's classes only, where Windows
# merges the user's in: for a check of a per-user registration, its class key
# is copied to the machine's classes and taken away afterwards.
thumbnail_through_com() { # INSTALL_FOLDER (Unix) HKCU|HKLM
  local class="$classes\\CLSID\\$thumbnail"
  if [ "$2" = HKCU ]; then
    ! haskey "HKLM\\$class" || fail "the machine has a registration of its own"
    w reg copy "HKCU\\$class" "HKLM\\$class" /s /f >/dev/null 2>&1 || fail "cannot show COM the per-user class"
  fi
  rm -f "$work/t.png"
  w "$1/quivane.exe" thumbnail "$(winpath "$gif")" --size 96 --out "$(winpath "$work/t.png")" \
    > "$work/out" 2>&1 || fail "thumbnail exited $?: $(cat "$work/out")"
  if [ "$2" = HKCU ]; then w reg delete "HKLM\\$class" /f >/dev/null 2>&1 || fail "cannot remove the copied class"; fi
  grep -q 'from the registered class' "$work/out" || fail "not through COM: $(cat "$work/out")"
  [ "$(png_size "$work/t.png")" = "$expected" ] || fail "thumbnail is $(png_size "$work/t.png"), not $expected"
}
thumbnail_through_com "$user_unix" HKCU

# --- upgrade while a process holds the installed DLL loaded
holder_ready() { [ -e "$work/ready" ] || ! kill -0 "$holder_pid" 2>/dev/null; }
hold_dll() { # WINDOWS_PATH: a process keeps it loaded until release_dll
  rm -f "$work/ready" "$work/release"
  timeout -k 10 300 wine "$bin/module_holder.exe" "$1" "$(winpath "$work/ready")" \
    "$(winpath "$work/release")" </dev/null > "$work/holder.out" 2>&1 &
  holder_pid=$!
  wait_until holder_ready && [ -e "$work/ready" ] || fail "the holder did not load the DLL: $(cat "$work/holder.out")"
}
release_dll() {
  touch "$work/release"
  wait "$holder_pid" || fail "the holder exited $?: $(cat "$work/holder.out")"
  holder_pid=""
}
old_inode=$(stat -c %i "$user_unix/Quivane.dll")
hold_dll "$user_dir\\Quivane.dll"
w "$setup" /S > "$work/out" 2>&1 || fail "setup /S over a DLL in use exited $?: $(cat "$work/out")"
[ "$(stat -c %i "$user_unix/Quivane.dll")" != "$old_inode" ] || fail "the DLL in use was not replaced"
cmp -s "$bin/Quivane.dll" "$user_unix/Quivane.dll" || fail "the new Quivane.dll is not the built one"
set -- "$user_unix"/Quivane.dll.old-*
[ $# -eq 1 ] && [ -f "$1" ] && [ "$(stat -c %i "$1")" = "$old_inode" ] || fail "the DLL in use was not moved aside: $*"
expect_value "HKCU\\$classes\\CLSID\\$thumbnail\\InprocServer32" "" "$user_dir\\Quivane.dll"
expect_value "HKCU\\$classes\\.gif\\shellex\\$thumbnail_slot" "" "$thumbnail"
thumbnail_through_com "$user_unix" HKCU
release_dll
w "$setup" /S > "$work/out" 2>&1 || fail "setup /S after the upgrade exited $?: $(cat "$work/out")"
set -- "$user_unix"/*.old-*
[ ! -e "$1" ] || fail "the next install left the copy moved aside: $*"

# --- machine-wide install beside the per-user one (Wine runs as administrator)
w "$setup" /S /allusers > "$work/out" 2>&1 || fail "setup /S /allusers exited $?: $(cat "$work/out")"
[ -f "$machine_unix/Quivane.dll" ] || fail "Quivane.dll is not in $machine_unix"
expect_value "HKLM\\$classes\\CLSID\\$thumbnail\\InprocServer32" "" "$machine_dir\\Quivane.dll"
expect_value "HKLM\\$uninstall_key" QuietUninstallString "\"$machine_dir\\Uninstall.exe\" /S"
thumbnail_through_com "$machine_unix" HKLM
# The 32-bit build in the machine's 32-bit view, its preview handler in the system's 32-bit surrogate.
reg32='C:\windows\syswow64\reg.exe' # the registry as 32-bit programs see it
regval32() { w "$reg32" query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -m1 '    REG_' | sed 's/^.*    REG_[A-Z_]*    //'; }
regdefault32() { w "$reg32" query "$1" /ve 2>/dev/null | tr -d '\r' | grep -m1 '    REG_' | sed 's/^.*    REG_[A-Z_]*    //'; }
[ "$(regdefault32 "HKLM\\$classes\\CLSID\\$thumbnail\\InprocServer32")" = "$machine_dir\\x86\\Quivane.dll" ] ||
  fail "the 32-bit view's thumbnail provider is '$(regdefault32 "HKLM\\$classes\\CLSID\\$thumbnail\\InprocServer32")'"
[ "$(regval32 "HKLM\\$classes\\CLSID\\$preview" AppID)" = "$surrogate32" ] || fail "the 32-bit preview handler is not in the 32-bit surrogate"
expect_value "HKLM\\$classes\\.png\\shellex\\$thumbnail_slot" "" "$thumbnail"
expect_value "HKLM\\$replaced" "$classes\\.png\\shellex\\$thumbnail_slot" "$other_thumbnailer"
expect_value "HKCU\\$classes\\CLSID\\$thumbnail\\InprocServer32" "" "$user_dir\\Quivane.dll"

# --- silent uninstalls, each run as Settings runs it: the entry's QuietUninstallString.
# The uninstaller goes on in a copy of itself, so the checks wait for its last step.
uninstall() { # ROOT
  local command
  command=$(regval "$1\\$uninstall_key" QuietUninstallString) || fail "no QuietUninstallString under $1"
  eval "set -- $command"
  w "$1" "${@:2}" > "$work/out" 2>&1 || fail "uninstall exited $?: $(cat "$work/out")"
}
entry_gone() { ! haskey "$1\\$uninstall_key"; }

uninstall HKLM
wait_until entry_gone HKLM || fail "the machine's uninstall entry stayed"
[ ! -e "$machine_unix" ] || fail "the machine-wide uninstall left $(ls -A "$machine_unix")"
! haskey "HKLM\\$classes\\CLSID\\$thumbnail" || fail "the machine's class rows stayed"
! haskey "HKLM\\$classes\\.gif\\shellex\\$thumbnail_slot" || fail "the machine's .gif row stayed"
! w 'C:\windows\syswow64\reg.exe' query "HKLM\\$classes\\CLSID\\$thumbnail" >/dev/null 2>&1 || fail "the machine's 32-bit class rows stayed"
expect_value "HKLM\\$classes\\.png\\shellex\\$thumbnail_slot" "" "$other_thumbnailer"
! haskey "HKLM\\$replaced" || fail "the machine's uninstall left $replaced"
! w 'C:\windows\syswow64\reg.exe' query "HKLM\\$replaced" >/dev/null 2>&1 || fail "the machine's uninstall left $replaced in the 32-bit view"
expect_value "HKCU\\$classes\\CLSID\\$thumbnail\\InprocServer32" "" "$user_dir\\Quivane.dll"

# ...this one while a process holds the DLL loaded: the folder goes all the same.
hold_dll "$user_dir\\Quivane.dll"
uninstall HKCU
wait_until entry_gone HKCU || fail "the per-user uninstall entry stayed"
[ ! -e "$user_unix" ] || fail "the per-user uninstall left $(ls -A "$user_unix")"
release_dll
for clsid in "$preview" "$thumbnail"; do
  ! haskey "HKCU\\$classes\\CLSID\\$clsid" || fail "the class rows of $clsid stayed"
done
! haskey "HKCU\\$classes\\.gif\\shellex\\$thumbnail_slot" || fail "the .gif thumbnail row stayed"
! haskey "HKCU\\$classes\\.gif\\shellex\\$preview_slot" || fail "the .gif preview row stayed"
expect_value "HKCU\\$classes\\.gif\\shellex\\ContextMenuHandlers\\Other" "" '{11111111-2222-3333-4444-555555555555}'
w reg delete "HKCU\\$classes\\.gif\\shellex\\ContextMenuHandlers\\Other" /f >/dev/null 2>&1 || true
expect_value "HKCU\\$classes\\.png\\shellex\\$thumbnail_slot" "" "$other_thumbnailer"
! haskey "HKCU\\$replaced" || fail "the per-user uninstall left $replaced"
for hive in HKCU HKLM; do
  w reg delete "$hive\\$classes\\.png\\shellex\\$thumbnail_slot" /f >/dev/null 2>&1 || true
done

rm -f "$WINEPREFIX/.quivane-installer-dirty"
rm -rf "$work"
echo "setup installs, upgrades over a DLL in use and uninstalls ($(($(date +%s) - started)) s)"
