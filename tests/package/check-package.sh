#!/usr/bin/env bash
# Checks one package as a person meets it: unpacked into a fresh place, away from the build tree,
# it holds exactly the files of its manifest, and the programs run from there, find their own
# libraries and item, and draw what the build tree draws.
#
#   check-package.sh deb|tgz PACKAGE VERSION BUILD_DIR BUILD_HOST BUILD_DECODE SAMPLE
#   check-package.sh zip PACKAGE VERSION BUILD_DIR BUILD_HOST.exe BUILD_DECODE.exe SAMPLE WINE_RUN
#
# BUILD_HOST and BUILD_DECODE are the build tree's today-host and varnel-decode, which draw the
# reference pictures; SAMPLE is the source tree's sample photo. On Windows every program runs in a
# new Wine prefix of its own (the prefix's registry is the one the host uses); on Linux the hosts
# work on registry files of the check's own.
set -euo pipefail

kind="$1" package="$2" version="$3" build_dir="$4" build_host="$5" build_decode="$6" sample="$7"
wine_run="${8:-}"
build_host="$(realpath "$build_host")" build_decode="$(realpath "$build_decode")"
sample="$(realpath "$sample")"

# What each package holds, relative to its root (the prefix of the .deb, the top folder of the
# archives).
linux_manifest=(
    bin/today-host
    bin/varnel-decode
    lib/liblumetta.so
    lib/libvarnel.so
    lib/libwin32layer.so
    share/doc/varnel-lumetta/licenses/GPL-2.txt
    share/varnel-lumetta/samples/LICENSE.md
    share/varnel-lumetta/samples/ladybird.jpg
)
windows_manifest=(
    README.txt
    licenses/GPL-2.txt
    licenses/GPL-3.txt
    licenses/gcc-runtime.txt
    licenses/mingw-w64-runtime.txt
    lumetta.dll
    samples/LICENSE.md
    samples/ladybird.jpg
    today-host.exe
    varnel-decode.exe
    varnel.dll
)
# Libraries that the .deb must depend on: those that the binaries need from the system.
deb_depends=(libc6 libgcc-s1 libpng16-16 libsqlite3-0 libstdc++6)

failures=0
Fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work="$(mktemp -d "${TMPDIR:-/tmp}/check-package.XXXXXX")"
Cleanup() {
    if [ "$kind" = zip ] && { [ -d "$work/wineprefix" ] || [ -d "$work/wineprefix-win32" ]; }; then
        PROJECT_WINEPREFIX="$work/wineprefix" "$wine_run" --stop || true
    fi
    rm -rf "$work"
}
trap Cleanup EXIT
# Nothing of the build tree may be reachable but through what the package itself says.
unset LD_LIBRARY_PATH WIN32LAYER_REGISTRY
export XDG_CONFIG_HOME="$work/config"

# Unpacks the package under $work/root and sets root to the tree that the manifest describes.
Unpack() {
    mkdir "$work/root"
    case "$kind" in
    deb)
        dpkg-deb -x "$package" "$work/root"
        root="$work/root/usr"
        ;;
    tgz)
        tar -xzf "$package" -C "$work/root"
        root="$work/root/$(basename "$package" .tar.gz)"
        ;;
    zip)
        unzip -q "$package" -d "$work/root"
        root="$work/root/$(basename "$package" .zip)"
        ;;
    esac
    if [ ! -d "$root" ]; then
        Fail "$package does not unpack to $(basename "$root")/"
        exit 1
    fi
}

# The unpacked files against the manifest: a missing one and one too many are both faults.
CheckManifest() {
    local expected actual
    if [ "$kind" = zip ]; then
        expected="$(printf '%s\n' "${windows_manifest[@]}" | LC_ALL=C sort)"
    else
        expected="$(printf '%s\n' "${linux_manifest[@]}" | LC_ALL=C sort)"
    fi
    if [ "$kind" = deb ]; then
        # Beside the prefix, a .deb holds nothing.
        local outside
        outside="$(cd "$work/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)"
        [ -z "$outside" ] || Fail "the .deb installs outside /usr: $outside"
    fi
    actual="$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)"
    if [ "$actual" != "$expected" ]; then
        Fail "the package's files are not its manifest's (< manifest, > package):"
        diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' >&2 || true
    fi
}

CheckDebFields() {
    local field
    field="$(dpkg-deb -f "$package" Version)"
    [ "$field" = "$version" ] || Fail "the .deb's version is '$field', not the project's $version"
    field="$(dpkg-deb -f "$package" Depends)"
    for dependency in "${deb_depends[@]}"; do
        [[ ", $field," == *", $dependency "* || ", $field," == *", $dependency,"* ]] ||
            Fail "the .deb does not depend on $dependency (Depends: $field)"
    done
}

# The installed ELF files may not look for libraries in the build tree, which a user does not
# have: they would work here and nowhere else.
CheckRunpaths() {
    local file paths
    for file in "$root"/bin/* "$root"/lib/*.so; do
        paths="$(readelf -d "$file" | sed -n 's/.*(R\(UN\)\?PATH).*\[\(.*\)\]/\2/p')"
        case "$paths" in
        *"$build_dir"*) Fail "$(basename "$file") looks for libraries in the build tree: $paths" ;;
        esac
    done
}

# Runs a program of the package or of the build tree (Windows programs write text-mode line ends).
Run() {
    if [ "$kind" = zip ]; then
        PROJECT_WINEPREFIX="$work/wineprefix" "$wine_run" "$@" | tr -d '\r'
    else
        "$@"
    fi
}

# A file's name as the program that opens it sees it.
ProgramPath() {
    if [ "$kind" = zip ]; then
        echo "Z:${1//\//\\}"
    else
        echo "$1"
    fi
}

# install, set and show with HOST (registry FILE on Linux, the prefix's on Windows); the screen
# goes to OUT. Expects the registration of LIBRARY.
RenderWith() {
    local host="$1" registry="$2" library="$3" picture="$4" out="$5" output
    local registry_option=()
    [ "$kind" = zip ] || registry_option=(--registry "$registry")
    if ! output="$(Run "$host" install "${registry_option[@]}" 2>"$work/install-errors")"; then
        Fail "$host install failed: $output $(cat "$work/install-errors")"
        return
    fi
    # The host registers the item that came with it, not another one it may know of.
    local expected
    expected="Registered Today item Lumetta: $(ProgramPath "$library")"
    [ "${output,,}" = "${expected,,}" ] || Fail "$host install printed '$output', not '$expected'"
    Run "$host" set "${registry_option[@]}" --path "$(ProgramPath "$picture")" --mode tile \
        --height 120 >/dev/null || Fail "$host set failed"
    # A white item (the picture did not load) is reported on stderr: it must say nothing.
    if ! Run "$host" show "${registry_option[@]}" --screen 240x320 --out "$(ProgramPath "$out")" \
        >/dev/null 2>"$work/show-errors"; then
        Fail "$host show failed: $(cat "$work/show-errors")"
    elif [ -s "$work/show-errors" ]; then
        Fail "$host show: $(cat "$work/show-errors")"
    fi
}

# Decodes both PNG files and counts the pixels that differ.
ComparePictures() {
    local what="$1" installed="$2" reference="$3" differing
    if [ ! -s "$installed" ] || [ ! -s "$reference" ]; then
        Fail "$what: no picture to compare ($installed, $reference)"
        return
    fi
    differing="$(compare -metric AE "$installed" "$reference" null: 2>&1)" || true
    [ "$differing" = 0 ] ||
        Fail "$what: the package's picture differs from the build tree's in $differing pixels"
}

Unpack
CheckManifest
if [ "$kind" = zip ]; then
    host="$root/today-host.exe" decode="$root/varnel-decode.exe" item="$root/lumetta.dll"
    build_item="$(dirname "$build_host")/lumetta.dll"
    packaged_sample="$root/samples/ladybird.jpg"
else
    [ "$kind" = tgz ] || CheckDebFields
    CheckRunpaths
    host="$root/bin/today-host" decode="$root/bin/varnel-decode" item="$root/lib/liblumetta.so"
    build_item="$(dirname "$build_host")/../todayitem/liblumetta.so"
    build_item="$(realpath "$build_item")"
    packaged_sample="$root/share/varnel-lumetta/samples/ladybird.jpg"
fi

# The package's programs first, in the fresh place; then the build tree's, with the same
# settings, for the reference.
RenderWith "$host" "$work/package.sqlite3" "$item" "$packaged_sample" "$work/package-screen.png"
RenderWith "$build_host" "$work/build.sqlite3" "$build_item" "$sample" "$work/build-screen.png"
ComparePictures "today-host show" "$work/package-screen.png" "$work/build-screen.png"

Run "$decode" "$(ProgramPath "$packaged_sample")" "$(ProgramPath "$work/package-decode.png")" >/dev/null ||
    Fail "the package's varnel-decode failed"
Run "$build_decode" "$(ProgramPath "$sample")" "$(ProgramPath "$work/build-decode.png")" >/dev/null ||
    Fail "the build tree's varnel-decode failed"
ComparePictures "varnel-decode" "$work/package-decode.png" "$work/build-decode.png"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s) in $(basename "$package")" >&2
    exit 1
fi
echo "$(basename "$package"): manifest, programs and pictures as the build tree's"
