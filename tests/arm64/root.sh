#!/usr/bin/env bash
# The arm64 root and its Wine prefix, made once in the build tree and reused:
# root.sh BUILD SOURCE (qemu-aarch64 registered first: binfmt.sh on).
set -eu
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
. "$SOURCE/tests/arm64/arm64-env.sh"
started=$(date +%s)
"$arm64_tests/make-root.sh" "$arm64_root" || fail "cannot make the arm64 root"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wine_arm64 wineboot -i >/dev/null 2>&1 || fail "cannot make the arm64 prefix $WINEPREFIX"
  in_root /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  echo "the arm64 prefix is made ($WINEPREFIX)"
fi
echo "the arm64 root and prefix are ready ($(($(date +%s) - started)) s)"
