#!/usr/bin/env bash
# quivane.exe thumbnail and preview activate the server the way the shell
# does: from Quivane.dll beside the tool while the classes are not registered,
# through COM once the prefix's regsvr32 has registered them.
set -eu
bin=$1
root=$2
run="$root/tests/support/wine-run"
QUIVANE_BUILD_DIR=$(cd "$bin/../.." && pwd)
export QUIVANE_BUILD_DIR
work=$(realpath -m "$bin/../../windows-test-work/host_tool_thumbnail")
rm -rf "$work"
mkdir -p "$work"
trap '"$run" regsvr32.exe /s /u "$(winpath "$bin/Quivane.dll")" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
fail() { echo "FAIL: $*"; exit 1; }
png_size() { head -c 24 "$1" | tail -c 8 | od -An -tu1 | awk '{print $3*256+$4 "x" $7*256+$8}'; }

"$run" regsvr32.exe /s /u "$(winpath "$bin/Quivane.dll")" > /dev/null 2>&1 || fail "unregistering failed"
"$run" "$bin/quivane.exe" thumbnail "$(winpath "$root/samples/bouncing_ball.gif")" --size 96 \
  --out "$(winpath "$work/beside.png")" > "$work/out" 2>&1 || fail "thumbnail exited $?: $(cat "$work/out")"
grep -q 'from Quivane.dll beside quivane.exe' "$work/out" || fail "not from the DLL beside the tool: $(cat "$work/out")"
[ "$(png_size "$work/beside.png")" = "96x48" ] || fail "thumbnail is $(png_size "$work/beside.png"), not 96x48"

status=0; "$run" regsvr32.exe /s "$(winpath "$bin/Quivane.dll")" > /dev/null 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "regsvr32 exited $status"
"$run" "$bin/quivane.exe" thumbnail "$(winpath "$root/tests/fixtures/video/pattern.wmv")" --size 256 \
  --out "$(winpath "$work/com.png")" > "$work/out" 2>&1 || fail "thumbnail exited $?: $(cat "$work/out")"
grep -q 'from the registered class' "$work/out" || fail "not through COM: $(cat "$work/out")"
[ "$(png_size "$work/com.png")" = "256x144" ] || fail "thumbnail is $(png_size "$work/com.png"), not 256x144"
"$run" "$bin/quivane.exe" preview "$(winpath "$root/samples/bouncing_ball.webp")" --size 200x120 \
  --screenshot "$(winpath "$work/preview.png")" --after-ms 50 > "$work/out" 2>&1 || fail "preview: $(cat "$work/out")"
grep -q 'preview handler from the registered class' "$work/out" || fail "preview not through COM: $(cat "$work/out")"
[ "$(png_size "$work/preview.png")" = "200x120" ] || fail "screenshot is $(png_size "$work/preview.png")"

# The tool's own register command does what regsvr32 does.
"$run" "$bin/quivane.exe" register --unregister > "$work/out" 2>&1 || fail "register --unregister: $(cat "$work/out")"
"$run" "$bin/quivane.exe" thumbnail "$(winpath "$root/samples/still_ball.png")" --out "$(winpath "$work/t.png")" \
  > "$work/out" 2>&1 || fail "thumbnail exited $?: $(cat "$work/out")"
grep -q 'from Quivane.dll beside quivane.exe' "$work/out" || fail "still registered: $(cat "$work/out")"
"$run" "$bin/quivane.exe" register > "$work/out" 2>&1 || fail "register: $(cat "$work/out")"
"$run" "$bin/quivane.exe" thumbnail "$(winpath "$root/samples/still_ball.png")" --out "$(winpath "$work/t.png")" \
  > "$work/out" 2>&1 || fail "thumbnail exited $?: $(cat "$work/out")"
grep -q 'from the registered class' "$work/out" || fail "register did not register: $(cat "$work/out")"

head -c 500 /dev/urandom > "$work/noise.png"
if "$run" "$bin/quivane.exe" thumbnail "$(winpath "$work/noise.png")" --out "$(winpath "$work/noise-t.png")" \
  > "$work/out" 2>&1; then fail "a random file gave a thumbnail"; fi
grep -Eq '^error: .*noise.png: .*0x8[0-9A-F]{7} ' "$work/out" || fail "no HRESULT printed: $(cat "$work/out")"
# The server says where in its code the failure began.
grep -Eq '^error: .*noise.png: .*\(at [A-Za-z]+\.cpp:[0-9]+\)' "$work/out" || fail "no place printed: $(cat "$work/out")"
[ ! -e "$work/noise-t.png" ] || fail "a failed thumbnail left a file"
echo "thumbnail command behaves"
