#!/usr/bin/env bash
# Fetches a Debian source package into a cache folder, checks it and unpacks
# it, without changing the system's apt configuration: apt reads a private
# source list and keeps its lists and downloads under the cache, so nothing
# outside that folder is written. apt checks the .dsc against the signed
# Sources index, and dpkg-source checks every file against the .dsc before it
# applies Debian's patches.
#
#   scripts/debian-source.sh PACKAGE [VERSION]
#
# prints the unpacked source tree's path on standard output (messages go to
# standard error). VERSION defaults to the one pinned below, the version the
# project was tested with. When the archive no longer carries it (Debian
# replaces a package when it ships a fix), the newest version there is taken
# with a warning. A tree already unpacked is reused.
#
# The cache is $VELTRANE_CACHE_DIR, else $XDG_CACHE_HOME/veltrane, else
# ~/.cache/veltrane.
set -euo pipefail

# Versions the builds and tests were tested with.
pinned_version() {
  case "$1" in
    lcms2) echo "2.14-2+deb12u1" ;;
    freetype) echo "2.12.1+dfsg-5+deb12u4" ;;
    wlroots) echo "0.15.1-6" ;;
    *) echo "" ;;
  esac
}

usage() {
  echo "usage: $0 PACKAGE [VERSION]" >&2
  exit 2
}

[ $# -ge 1 ] && [ $# -le 2 ] || usage
package=$1
version=${2:-$(pinned_version "$package")}

cache=${VELTRANE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/veltrane}
apt_dir=$cache/apt
sources_dir=$cache/debian-sources
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$sources_dir"

say() { printf 'debian-source: %s\n' "$*" >&2; }

# The machine's own sources, turned into source entries. Both deb822 files
# and one-line lists are understood.
write_source_list() {
  local out=$apt_dir/src.sources
  : > "$out.new"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*$/Types: deb-src/' "$f" >> "$out.new"
    printf '\n' >> "$out.new"
  done
  local oneline=$apt_dir/src.list
  : > "$oneline.new"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -e 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$oneline.new"
  done
  mv "$out.new" "$out"
  mv "$oneline.new" "$oneline"
}

apt_options() {
  printf '%s\n' \
    -o "Dir::Etc::SourceList=$apt_dir/src.list" \
    -o "Dir::Etc::SourceParts=$apt_dir/parts" \
    -o "Dir::State::Lists=$apt_dir/lists" \
    -o "Dir::Cache=$apt_dir/cache" \
    -o "Debug::NoLocking=1"
}

# A tree unpacked before is used as it is.
if [ -n "$version" ]; then
  tree=$sources_dir/$package-${version//:/_}
  if [ -f "$tree/.veltrane-unpacked" ]; then
    echo "$tree"
    exit 0
  fi
fi

write_source_list
mkdir -p "$apt_dir/parts"
ln -sf "$apt_dir/src.sources" "$apt_dir/parts/src.sources"
mapfile -t options < <(apt_options)

# The lists are fetched again when they are over a day old.
stamp=$apt_dir/lists/.updated
if [ ! -f "$stamp" ] || [ -n "$(find "$stamp" -mmin +1440 2>/dev/null)" ]; then
  say "updating the source lists in $apt_dir"
  apt-get "${options[@]}" -q update >&2
  touch "$stamp"
fi

available=$(apt-cache "${options[@]}" showsrc "$package" 2>/dev/null |
  sed -n 's/^Version: //p' | sort -V -r | uniq)
if [ -z "$available" ]; then
  say "the archive has no source package '$package'"
  exit 1
fi
if [ -z "$version" ]; then
  version=$(head -n 1 <<<"$available")
elif ! grep -qxF "$version" <<<"$available"; then
  newest=$(head -n 1 <<<"$available")
  say "warning: $package $version is no longer in the archive; taking $newest (not the version tested)"
  version=$newest
fi

tree=$sources_dir/$package-${version//:/_}
if [ -f "$tree/.veltrane-unpacked" ]; then
  echo "$tree"
  exit 0
fi

download=$sources_dir/download-$package-$version
rm -rf "$download" "$tree"
mkdir -p "$download"
say "fetching $package $version"
(cd "$download" && apt-get "${options[@]}" -q source --download-only "$package=$version" >&2)
dsc=$(find "$download" -maxdepth 1 -name '*.dsc' | head -n 1)
[ -n "$dsc" ] || { say "no .dsc was fetched for $package $version"; exit 1; }
# dpkg-source checks the sizes and hashes the .dsc gives before unpacking.
# The .dsc itself was checked by apt against the archive's signed index; the
# uploader's own signature would need Debian's keyring, which is not needed here.
(cd "$download" && dpkg-source -x "$(basename "$dsc")" unpacked >&2)
mv "$download/unpacked" "$tree"
rm -rf "$download"
touch "$tree/.veltrane-unpacked"
echo "$tree"
