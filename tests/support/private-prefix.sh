# Sourced by the checks that change what the registry holds (the display's
# DPI, the theme, the view a user chose):
#   quivane_private_prefix BASE COPY
# makes COPY a prefix that shares BASE's files through hard links and has
# registries of its own, and points WINEPREFIX at it, so that what the check
# sets there touches no other test. Its wineserver is the caller's to stop.
quivane_private_prefix() {
  local base=$1 copy=$2
  [ -f "$base/system.reg" ] || { echo "FAIL: no test prefix at $base"; return 1; }
  cp -al "$base" "$copy"
  rm -rf "$copy"/*.reg "$copy/wineserver"
  cp "$base"/*.reg "$copy/"
  export WINEPREFIX=$copy
}

# quivane_private_work DIR: DIR, emptied, for the caller's prefixes (DIR/prefix*)
# and files; on exit their wineservers are stopped and DIR goes.
quivane_private_work() {
  QUIVANE_PRIVATE_WORK=$1
  quivane_private_cleanup
  mkdir -p "$1"
  trap quivane_private_cleanup EXIT
}
quivane_private_cleanup() {
  local prefix
  for prefix in "$QUIVANE_PRIVATE_WORK"/prefix*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  rm -rf "$QUIVANE_PRIVATE_WORK"
}
