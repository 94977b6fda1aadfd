#!/usr/bin/env bash
# Registers the test-only WIC codecs (QuivaneTestWebpDecoder.dll: Wine has no
# WebP decoder) into the Wine prefix WINEPREFIX:
#   register-test-codecs.sh [DLL]
# QUIVANE_REG_VIEW=32 registers a 32-bit DLL in the 32-bit registry view.
# DLL defaults to $QUIVANE_BUILD_DIR/windows/bin/QuivaneTestWebpDecoder.dll; a
# DLL not built yet is left for a later call. Quick when nothing changed: the
# imported registry file is kept in the prefix and compared with the new one.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
dll=${1:-${QUIVANE_BUILD_DIR:-}/windows/bin/QuivaneTestWebpDecoder.dll}
[ -f "$dll" ] || exit 0
[ -f "$WINEPREFIX/system.reg" ] || { echo "register-test-codecs: no Wine prefix at $WINEPREFIX" >&2; exit 1; }

dll=$(realpath -- "$dll")
windows_dll="Z:${dll//\//\\}"
reg_dll=${windows_dll//\\/\\\\}

clsid='{A103CB1E-6235-49ED-BFB5-2EDED6F3BF69}'
decoders='{7ED96837-96F0-4812-B211-F13C24117ED3}'  # CATID_WICBitmapDecoders
webp='{E094B0E2-67F2-45B3-B0EA-115337CA7CF3}'      # GUID_ContainerFormatWebp
pbgra='{6FDDC324-4E03-4BFE-B185-3D77768DC910}'     # GUID_WICPixelFormat32bppPBGRA
name='Quivane test WebP Decoder'

# WIC finds a decoder through the category's Instance key, matches the stream
# against Patterns (RIFF, any size, WEBP), then creates it from InprocServer32.
wanted=$(cat <<REG
REGEDIT4

[HKEY_CLASSES_ROOT\\CLSID\\$clsid]
@="$name"
"FriendlyName"="$name"
"ContainerFormat"="$webp"
"Vendor"="{0E1F5368-2E00-41A3-AEC0-0A9482881E07}"
"Author"="Quivane tests"
"Version"="1.0.0.0"
"MimeTypes"="image/webp"
"FileExtensions"=".webp"
"SupportsAnimation"=dword:00000001
"SupportsMultiframe"=dword:00000001
"SupportsLossless"=dword:00000001
"SupportsChromakey"=dword:00000000

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]
@="$reg_dll"
"ThreadingModel"="Both"

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\Formats\\$pbgra]

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\Patterns\\0]
"Position"=dword:00000000
"Length"=dword:0000000c
"Pattern"=hex:52,49,46,46,00,00,00,00,57,45,42,50
"Mask"=hex:ff,ff,ff,ff,00,00,00,00,ff,ff,ff,ff
"EndOfStream"=dword:00000000

[HKEY_CLASSES_ROOT\\CLSID\\$decoders\\Instance\\$clsid]
"CLSID"="$clsid"
"FriendlyName"="$name"
REG
)

stamp=$WINEPREFIX/quivane-test-codecs.reg
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi

staged=$(mktemp "$WINEPREFIX/quivane-test-codecs.XXXXXX")
trap 'rm -f "$staged"' EXIT
printf '%s\n' "$wanted" >"$staged"
staged_windows="Z:${staged//\//\\}"
# A Wine server started here is waited for, so that a caller's "wineserver -p"
# afterwards finds none running; one already running is left alone.
own_server=0
if wineserver -p1 </dev/null >/dev/null 2>&1; then own_server=1; fi
regedit=regedit
[ "${QUIVANE_REG_VIEW:-}" != 32 ] || regedit='C:\windows\syswow64\regedit.exe'
wine "$regedit" /S "$staged_windows" </dev/null >/dev/null 2>&1
# regedit reports nothing on failure; look for the server path it should have written.
reg=reg
[ "${QUIVANE_REG_VIEW:-}" != 32 ] || reg='C:\windows\syswow64\reg.exe'
if ! wine "$reg" query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve </dev/null 2>/dev/null | tr -d '\r' | grep -qiF "$windows_dll"; then
  echo "register-test-codecs: registering $windows_dll in $WINEPREFIX failed" >&2
  [ "$own_server" -eq 0 ] || wineserver -w
  exit 1
fi
mv -f "$staged" "$stamp"
[ "$own_server" -eq 0 ] || wineserver -w
