#!/usr/bin/env bash
# Fetches one of Debian's source packages (with Debian's patches applied) into
# DEST, for third-party code our CMake builds into the Windows binaries:
#   fetch-debian-source.sh PACKAGE DEST OLDEST
# Prints the extracted source folder. Nothing outside DEST is changed: apt runs
# from a private configuration with its own lists and cache, the machine's
# sources mirrored as deb-src, and none of the machine's apt hooks.
# Refuses a source older than OLDEST (for libwebp, the one with the lossless
# Huffman overflow CVE-2023-4863 fixed): its version is checked, whether
# fetched now or before.
set -euo pipefail

package=$1
dest=$(mkdir -p "$2" && cd "$2" && pwd)
oldest=$3
stamp=$dest/source-dir

log() { printf 'fetch-debian-source: %s: %s\n' "$package" "$*" >&2; }

# The version of an extracted source tree, from its Debian changelog; fails
# unless it is at least the oldest one accepted.
check_version() {
  local version
  version=$(sed -n "1s/^$package (\\([^)]*\\)).*/\\1/p" "$1/debian/changelog" 2>/dev/null)
  if [ -z "$version" ] || ! dpkg --compare-versions "$version" ge "$oldest"; then
    log "source ${version:-of unknown version} is older than $oldest"
    return 1
  fi
  printf '%s\n' "$version" >"$dest/version"
}

if [ -f "$stamp" ] && [ -f "$(cat "$stamp")/debian/changelog" ]; then
  check_version "$(cat "$stamp")"
  cat "$stamp"
  exit 0
fi


sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! command -v dpkg-source >/dev/null; then
  log "installing dpkg-dev (for dpkg-source)"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
fi

apt=$dest/apt
rm -rf "$apt"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/empty" "$apt/download"

# The machine's Debian sources (deb822 or one-line), as deb-src; the public
# archive when none are found.
sources=$apt/sources.sources
{
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v RS= -v ORS='\n\n' '/(^|\n)Types:[^\n]*deb/ && /(^|\n)Suites:[^\n]*bookworm/ {
        out = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^#/) continue
          if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
          out = out lines[i] "\n"
        }
        printf "%s\n", out
      }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\{0,1\}\([^[:space:]]\+\)[[:space:]]\+\(bookworm[^[:space:]]*\)[[:space:]].*$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: main\n/p' "$f"
  done
} >"$sources"
if ! grep -q '^URIs:' "$sources"; then
  cat >"$sources" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
SRC
fi

cat >"$apt/apt.conf" <<CONF
Dir::Etc::sourcelist "$sources";
Dir::Etc::sourceparts "$apt/empty";
Dir::Etc::parts "$apt/empty";
Dir::Etc::preferences "$apt/empty/none";
Dir::Etc::preferencesparts "$apt/empty";
Dir::State::lists "$apt/lists";
Dir::Cache "$apt/cache";
Dir::Cache::archives "$apt/cache/archives";
APT::Sandbox::User "root";
Acquire::Languages "none";
Acquire::Check-Valid-Until "false";
Acquire::Check-Date "false";
CONF
export APT_CONFIG=$apt/apt.conf

log "downloading the source package"
apt-get -qq update >/dev/null
# The newest version first; an older one when a mirror does not serve it.
fetched=""
for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -u -r -V); do
  dpkg --compare-versions "$version" ge "$oldest" || continue
  if (cd "$apt/download" && apt-get -qq source --download-only "$package=$version" >/dev/null 2>&1); then
    fetched=$version
    break
  fi
  log "version $version could not be downloaded"
  rm -f "$apt/download"/*
done
[ -n "$fetched" ] || { log "no version of at least $oldest could be downloaded"; exit 1; }
dsc=$(ls "$apt/download"/"${package}"_*.dsc | sort -V | tail -n 1)

rm -rf "$dest/src"
mkdir -p "$dest/src"
dpkg-source --no-check -x "$dsc" "$dest/src/$package" >/dev/null
check_version "$dest/src/$package"
echo "$dest/src/$package" >"$stamp"
rm -rf "$apt"
cat "$stamp"
