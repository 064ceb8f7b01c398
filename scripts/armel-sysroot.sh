#!/usr/bin/env bash
# Makes the armel libraries the device build links with: SQLite, libpng, zlib and TurboJPEG
# (the device benchmark's peer), unpacked from Debian's armel packages into a folder of their
# own. Debian cannot install armel -dev packages beside the build machine's amd64 ones (their
# headers collide), so the packages are fetched with apt-get download and unpacked with
# dpkg-deb -x; nothing is installed. The C and C++ runtimes come from the cross toolchain
# (/usr/arm-linux-gnueabi). A second run with the same package versions does nothing.
#
# Usage: scripts/armel-sysroot.sh [SYSROOT]   (default build/armel-sysroot of this tree)
# Needs the armel architecture known to apt (scripts/install-deps.sh adds it and updates).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
sysroot=${1:-$here/build/armel-sysroot}
packages=(libsqlite3-0 libsqlite3-dev libpng16-16 libpng-dev zlib1g zlib1g-dev
          libturbojpeg0 libturbojpeg0-dev)

# The versions apt would fetch now; the sysroot is remade only when they change.
versions=$(apt-cache policy "${packages[@]/%/:armel}" 2>/dev/null |
    awk '/^[^ ]/ {name = $1} /^  Candidate:/ {print name, $2}')
if [ -z "$versions" ] || grep -q '(none)' <<<"$versions" ||
    [ "$(wc -l <<<"$versions")" -ne ${#packages[@]} ]; then
    echo "armel-sysroot: apt knows no armel candidates for: ${packages[*]}" >&2
    echo "(run scripts/install-deps.sh, which adds the armel architecture and updates apt)" >&2
    exit 1
fi
stamp=$sysroot/.packages
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$versions" ]; then
    exit 0
fi

echo "armel-sysroot: fetching ${packages[*]} into $sysroot"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Fetched as the user running this (apt's own download user cannot write to a private folder).
(cd "$work" && apt-get download -qq -o APT::Sandbox::User="$(id -un)" "${packages[@]/%/:armel}")
rm -rf "$sysroot.new"
mkdir -p "$sysroot.new"
for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$sysroot.new"
done
# Absolute symbolic links (libz.so -> /lib/arm-linux-gnueabi/...) would point into the build
# machine; they are made relative, to their targets inside the sysroot.
while read -r link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$sysroot.new$target")" "$link"
done < <(find "$sysroot.new" -type l -lname '/*')
printf '%s\n' "$versions" >"$sysroot.new/.packages"
rm -rf "$sysroot"
mv "$sysroot.new" "$sysroot"
