# Sourced by ./quivane and tests/support/wine-run: the build tree's private
# Wine prefix, quiet, without Mono/Gecko installers.
# Expects QUIVANE_BUILD_DIR to be set.
export WINEPREFIX="${WINEPREFIX:-$QUIVANE_BUILD_DIR/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No crash debugger: a program that crashes ends at once with a failure
# instead of waiting in winedbg.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEARCH=win64
# With Debian's wine32 installed beside wine64, "wine" starts the 32-bit loader,
# so a program named without a path (reg, regsvr32) would run in the 32-bit
# registry view. This prefix is 64-bit first: "wine" here is the 64-bit loader,
# which starts a 32-bit program through the 32-bit one by itself.
if [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wine ]; then
  quivane_loader_dir=$QUIVANE_BUILD_DIR/wine-loader
  if [ ! -x "$quivane_loader_dir/wine" ]; then
    mkdir -p "$quivane_loader_dir"
    printf '#!/bin/sh\nWINELOADER=/usr/lib/wine/wine64 exec /usr/lib/wine/wine64 "$@"\n' > "$quivane_loader_dir/wine.tmp"
    chmod +x "$quivane_loader_dir/wine.tmp"
    mv "$quivane_loader_dir/wine.tmp" "$quivane_loader_dir/wine"
  fi
  case ":$PATH:" in *":$quivane_loader_dir:"*) ;; *) export PATH="$quivane_loader_dir:$PATH" ;; esac
fi
export QUIVANE_SOURCE_DIR="${QUIVANE_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

# Creates the prefix once; later calls find it ready.
quivane_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  if [ ! -f "$WINEPREFIX/.quivane-no-crash-debugger" ]; then
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
      </dev/null >/dev/null 2>&1 || true
    wineserver -w # so that a caller's "wineserver -p" afterwards finds none running
    touch "$WINEPREFIX/.quivane-no-crash-debugger"
  fi
  "$(dirname "${BASH_SOURCE[0]}")/register-test-codecs.sh"
  "$(dirname "${BASH_SOURCE[0]}")/register-test-mf.sh"
}
