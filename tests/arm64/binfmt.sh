#!/usr/bin/env bash
# Lets the kernel start arm64 programs through qemu-user, for the ARM64 smoke
# run: binfmt.sh on|off STATE_DIR
#   on   mounts binfmt_misc if it is not, and registers qemu-aarch64 under a
#        name of our own, from Debian's qemu-user-static description of it;
#   off  undoes exactly what `on` did, as recorded in STATE_DIR.
# A registration an interrupted run left behind is replaced, never doubled.
set -eu
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
fs=/proc/sys/fs/binfmt_misc
name=quivane-qemu-aarch64
description=/usr/share/binfmts/qemu-aarch64

field() { sed -n "s/^$1 //p" "$description"; }
unregister() { if [ -e "$fs/$name" ]; then echo -1 > "$fs/$name"; fi; }

case "$action" in
  on)
    [ -f "$description" ] || { echo "qemu-user-static is not installed ($description missing)"; exit 1; }
    if [ ! -e "$fs/register" ]; then
      mount -t binfmt_misc binfmt_misc "$fs"
      touch "$state/mounted"
    fi
    unregister
    flags=""
    [ "$(field fix_binary)" = yes ] && flags="${flags}F"
    [ "$(field preserve)" = yes ] && flags="${flags}P"
    [ "$(field credentials)" = yes ] && flags="${flags}C"
    printf ':%s:M:%s:%s:%s:%s:%s\n' "$name" "$(field offset)" "$(field magic)" "$(field mask)" \
      "$(field interpreter)" "$flags" > "$fs/register"
    touch "$state/registered"
    echo "qemu-aarch64 registered as $name$([ -e "$state/mounted" ] && echo ', binfmt_misc mounted')"
    ;;
  off)
    if [ -e "$state/registered" ]; then unregister; rm -f "$state/registered"; fi
    if [ -e "$state/mounted" ]; then umount "$fs"; rm -f "$state/mounted"; fi
    echo "qemu-aarch64 unregistered"
    ;;
  *) echo "usage: binfmt.sh on|off STATE_DIR" >&2; exit 2 ;;
esac
