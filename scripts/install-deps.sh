#!/usr/bin/env bash
# Installs, from Debian's archive, everything the build, the tests, the demo and the benchmarks
# need. Packages already present are left alone, so a second run costs a few seconds.
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang clang-format llvm libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev sqlite3 libpng-dev
    libjpeg-turbo-progs libturbojpeg0-dev libstb-dev
    imagemagick
    # the packages' install tests; the manual pages; building the example against the packages
    # (pkg-config, and LLVM's linker for the import library in Microsoft's format)
    dpkg-dev unzip lintian help2man pkg-config lld
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
    # Windows x86: the 32-bit compilers and 32-bit Wine (from the i386 architecture)
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386
    # The device build, Linux on ARMv4T (armel, soft-float), and its benchmark: the cross
    # compilers and qemu to run the tests (the armel libraries are unpacked into a sysroot by
    # scripts/armel-sysroot.sh, not installed: Debian cannot install armel -dev packages beside
    # the amd64 ones)
    g++-arm-linux-gnueabi qemu-user
    # varnel-bench's corpus: photographs re-encoded by scripts/make-bench-corpus.sh
    mate-backgrounds plasma-workspace-wallpapers netpbm
)

# The foreign architectures whose packages are named above (NAME:ARCH), and armel, whose
# packages scripts/armel-sysroot.sh fetches with apt-get download.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
added_architecture=0
for arch in i386 armel; do
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "Adding the $arch architecture"
        $SUDO dpkg --add-architecture "$arch"
        added_architecture=1
    fi
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$added_architecture" -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves index files of the wrong size for a few minutes;
# try again before giving up.
update_log=$(mktemp)
preferences=$(mktemp -d)
trap 'rm -rf "$update_log" "$preferences"' EXIT
update_ok=0
for attempt in 1 2 3 4; do
    if $SUDO apt-get update -qq 2>"$update_log"; then
        update_ok=1
        break
    fi
    cat "$update_log" >&2
    if [ "$attempt" -eq 4 ]; then
        break
    fi
    echo "apt-get update failed (attempt $attempt); retrying in $((attempt * 20)) s" >&2
    sleep $((attempt * 20))
done

apt_options=()
install=("${missing[@]}")
if [ "$update_ok" -eq 0 ]; then
    # Some of a suite's indexes did not arrive (usually one architecture's). A package that
    # must have one version on every architecture (Multi-Arch: same) then has a newer amd64
    # candidate in that suite than anything i386 can match, and apt gives up. So
    # the suite is set aside for this install: every architecture installs from the suites
    # whose indexes all arrived, and the versions agree again.
    mapfile -t stale < <(grep -o 'dists/[^/]*/' "$update_log" | cut -d/ -f2 | sort -u)
    if [ ${#stale[@]} -eq 0 ]; then
        echo "apt-get update kept failing" >&2
        exit 1
    fi
    cp -p /etc/apt/preferences.d/* "$preferences/" 2>/dev/null || true
    for suite in "${stale[@]}"; do
        echo "Indexes of $suite did not arrive; installing without $suite" >&2
        printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n' "$suite" \
            >"$preferences/varnel-without-$suite.pref"
    done
    apt_options=(-o "Dir::Etc::PreferencesParts=$preferences" --allow-downgrades)
    # A Multi-Arch: same package already installed at a version that only the set-aside
    # suite had cannot get a foreign twin; it is asked for at the twin's version instead.
    native=$(dpkg --print-architecture)
    mapfile -t shared < <(dpkg-query -W -f='${Package} ${Architecture} ${Version} ${Multi-Arch}\n' |
        awk -v native="$native" '$2 == native && $4 == "same" {print $1, $3}')
    declare -A installed_version=()
    for entry in "${shared[@]}"; do
        installed_version[${entry% *}]=${entry#* }
    done
    names=("${!installed_version[@]}")
    declare -A aligned=()
    for arch in i386; do
        while read -r name candidate; do
            [ -n "${aligned[$name]:-}" ] && continue
            [ -n "${installed_version[$name]:-}" ] || continue
            if dpkg --compare-versions "${installed_version[$name]}" gt "$candidate"; then
                echo "Installing $name at $candidate, the version $arch has" >&2
                aligned[$name]=$candidate
                install+=("$name=$candidate")
            fi
        done < <(apt-cache "${apt_options[@]:0:2}" policy "${names[@]/%/:$arch}" 2>/dev/null |
            awk '/^[^ ]/ {name = $0; sub(/:[a-z0-9]*:$/, "", name)}
                 /^  Candidate:/ && $2 != "(none)" {print name, $2}')
    done
fi
$SUDO apt-get install -y -qq --no-install-recommends "${apt_options[@]}" "${install[@]}" >/dev/null
