#!/usr/bin/env bash
# The arm64 Debian 12 root the ARM64 smoke run runs Wine in: make-root.sh ROOT
# Made once and reused while it holds the same packages. debootstrap's first
# stage (run natively) fetches Debian's arm64 Wine with everything it depends
# on from the machine's own Debian mirror and unpacks the base system; the
# rest is unpacked here natively too. Debian's second stage, which would run
# every package's scripts under qemu-user for many minutes, is left out: Wine
# needs none of what they set up but the linker's cache (ldconfig, the one
# program run under qemu-user: binfmt.sh on first) and a user.
set -eu
root=$1
here=$(cd "$(dirname "$0")" && pwd)
# Debian's arm64 Wine, and Mesa's OpenGL, through which Wine draws Direct2D.
packages="wine64 libgl1 libglx-mesa0 libgl1-mesa-dri libxrender1 libxext6"
stamp=$root/.quivane-root
started=$(date +%s)

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ]; then
  echo "the arm64 root is ready ($root)"
  exit 0
fi
# The machine's own Debian mirror (deb822 or one-line sources), else the public one.
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
  awk -v RS= '/Suites:[^\n]*bookworm/ && !/security/' | sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' | head -n 1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\{0,1\}\([^[:space:]]*\)[[:space:]]\+bookworm[[:space:]].*/\2/p' \
  /etc/apt/sources.list 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

rm -rf "$root"
mkdir -p "$root"
log=$root.log
echo "making the arm64 root from $mirror (log: $log)"
debootstrap --foreign --arch=arm64 --variant=minbase --include="${packages// /,}" bookworm "$root" "$mirror" \
  > "$log" 2>&1 || { tail -n 20 "$log"; echo "debootstrap failed"; exit 1; }
for deb in "$root"/var/cache/apt/archives/*.deb; do
  dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$root" ||
    { echo "cannot unpack $(basename "$deb")"; exit 1; }
done
rm -f "$root"/var/cache/apt/archives/*.deb
# Where debootstrap could not mount /proc it left a link to the machine's; in-root.sh mounts one.
if [ -L "$root/proc" ]; then rm "$root/proc"; mkdir "$root/proc"; fi
printf 'root:x:0:0:root:/root:/bin/bash\n' > "$root/etc/passwd"
printf 'root:x:0:\n' > "$root/etc/group"
mkdir -p "$root/root" "$root/tmp"
chmod 1777 "$root/tmp"
"$here/in-root.sh" "$root" /sbin/ldconfig >> "$log" 2>&1 || { tail -n 20 "$log"; echo "ldconfig failed"; exit 1; }
printf '%s\n' "$packages" > "$stamp"
echo "the arm64 root is made ($root, $(($(date +%s) - started)) s)"
