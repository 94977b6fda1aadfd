# Sourced by the ARM64 smoke run's scripts, with BUILD (the build tree) and
# SOURCE (the source tree) set: where its arm64 root and Wine prefix are (in
# the build tree, made once and reused), and how a program runs there.
arm64_tests=$SOURCE/tests/arm64
arm64_root=$BUILD/arm64-root
export WINEPREFIX=$BUILD/arm64-prefix WINEDEBUG=-all
# Both trees are seen in the root at their own paths, so Z: paths are the same there.
export QUIVANE_ROOT_SHARE="$SOURCE:$BUILD"

fail() { echo "FAIL: $*"; exit 1; }
# Every program in the root runs time-limited (qemu-user is slow, never stuck),
# with no terminal of ours attached.
in_root() { timeout -k 10 600 "$arm64_tests/in-root.sh" "$arm64_root" "$@" </dev/null; }
wine_arm64() { in_root /usr/lib/wine/wine64 "$@"; }
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
# One Wine server for the prefix while a script runs, stopped (with whatever
# it still runs) when the script ends.
start_wineserver() {
  [ -f "$WINEPREFIX/system.reg" ] || fail "the arm64 prefix $WINEPREFIX was not made (the arm64.root test makes it)"
  in_root /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  in_root /usr/lib/wine/wineserver -p >/dev/null 2>&1 || fail "cannot start a Wine server in the arm64 root"
  trap 'in_root /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
}
