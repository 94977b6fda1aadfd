#!/usr/bin/env bash
# Runs a command in the arm64 root: in-root.sh ROOT COMMAND [ARGS...]
# In a mount namespace of its own, so that everything mounted for it (the
# root's /proc and /dev, the X server's socket, the source and build trees at
# their own paths) goes when its last process ends, whatever way it ends.
# QUIVANE_ROOT_SHARE: folders, separated by colons, seen inside at the same path.
# The command gets a clean environment: PATH, HOME, LANG, and DISPLAY,
# WINEPREFIX and WINEDEBUG when they are set; it starts in the current folder
# when the root shows it.
set -eu
if [ "${1:-}" = --inside ]; then
  root=$2
  shift 2
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  if [ -d /tmp/.X11-unix ]; then
    mkdir -p "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  fi
  IFS=: read -r -a shared <<< "${QUIVANE_ROOT_SHARE:-}"
  for dir in "${shared[@]}"; do
    [ -n "$dir" ] || continue
    mkdir -p "$root$dir"
    mount --bind "$dir" "$root$dir"
  done
  environment=(PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root LANG=C.UTF-8)
  for name in DISPLAY WINEPREFIX WINEDEBUG; do
    [ -z "${!name:-}" ] || environment+=("$name=${!name}")
  done
  folder=/
  [ ! -d "$root$PWD" ] || folder=$PWD
  exec chroot "$root" /usr/bin/env -i -C "$folder" "${environment[@]}" "$@"
fi
root=$(cd "$1" && pwd)
shift
exec unshare --mount --propagation private -- "$0" --inside "$root" "$@"
