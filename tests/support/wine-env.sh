# Sourced by ./quivane and tests/support/wine-run: the build tree's private
# Wine prefix, quiet, without Mono/Gecko installers.
# Expects QUIVANE_BUILD_DIR to be set.
export WINEPREFIX="${WINEPREFIX:-$QUIVANE_BUILD_DIR/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No crash debugger: a program that crashes ends at once with a failure
# instead of waiting in winedbg.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEARCH=win64
# `wine` is the 64-bit loader, also where 32-bit Wine is installed (see tests/support/wine64/wine).
if [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wine ]; then
  case ":$PATH:" in
    *":$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64:"*) ;;
    *) PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64:$PATH" ;;
  esac
  export PATH
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
  "$(dirname "${BASH_SOURCE[0]}")/register-test-mf.sh"
}
