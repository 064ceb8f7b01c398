#!/usr/bin/env bash
# Checks one package as a person meets it: unpacked into a fresh place, away from the build tree,
# it holds exactly the files of its manifest, and the programs run from there, find their own
# libraries and item, and draw what the build tree draws; and a program that calls varnel, the
# example examples/decode.c as the package carries it, builds against it as its README says and
# writes the build tree's bitmap.
#
#   check-package.sh tgz PACKAGE VERSION BUILD_DIR BUILD_HOST BUILD_DECODE SAMPLE
#   check-package.sh deb PACKAGE VERSION BUILD_DIR BUILD_HOST BUILD_DECODE SAMPLE DEV_PACKAGE
#   check-package.sh zip PACKAGE VERSION BUILD_DIR BUILD_HOST.exe BUILD_DECODE.exe SAMPLE WINE_RUN
#
# VERSION is the package's (with the Debian revision for the .debs: 1.0.1-1). BUILD_HOST and
# BUILD_DECODE are the build tree's today-host and varnel-decode, which draw the reference
# pictures; SAMPLE is the source tree's sample photo. The .deb is checked together with its
# development package DEV_PACKAGE, both unpacked into one tree as both would be installed. On
# Windows every program runs in a new Wine prefix of its own (the prefix's registry is the one
# the host uses); on Linux the hosts work on registry files of the check's own.
set -euo pipefail

kind="$1" package="$2" version="$3" build_dir="$4" build_host="$5" build_decode="$6" sample="$7"
wine_run="" dev_package=""
if [ "$kind" = zip ]; then wine_run="${8:-}"; fi
if [ "$kind" = deb ]; then dev_package="$8"; fi
# The project's version, without the Debian revision.
upstream_version="${version%-*}"
build_host="$(realpath "$build_host")" build_decode="$(realpath "$build_decode")"
sample="$(realpath "$sample")"

# What each package holds, relative to its root (the prefix of the .deb, the top folder of the
# archives).
linux_manifest=(
    # varnel-lumetta
    bin/today-host
    bin/varnel-decode
    lib/libvarnel-lumetta-win32layer.so.1
    lib/libvarnel.so.1
    lib/varnel-lumetta/liblumetta.so
    share/doc/varnel-lumetta/changelog.Debian.gz
    share/doc/varnel-lumetta/copyright
    share/doc/varnel-lumetta/licenses/GPL-2.txt
    share/man/man1/today-host.1.gz
    share/man/man1/varnel-decode.1.gz
    share/varnel-lumetta/samples/LICENSE.md
    share/varnel-lumetta/samples/ladybird.jpg
    # varnel-lumetta-dev
    include/varnel/varnel.h
    include/varnel/win32/base.h
    include/varnel/win32/gdi.h
    lib/cmake/varnel/varnel-config-version.cmake
    lib/cmake/varnel/varnel-config.cmake
    lib/libvarnel-lumetta-win32layer.so
    lib/libvarnel.so
    lib/pkgconfig/varnel.pc
    share/doc/varnel-lumetta-dev/changelog.Debian.gz
    share/doc/varnel-lumetta-dev/copyright
    share/doc/varnel-lumetta-dev/examples/CMakeLists.txt
    share/doc/varnel-lumetta-dev/examples/decode.c
)
windows_manifest=(
    LICENSE.txt
    README.txt
    examples/decode.c
    include/varnel.h
    lib/libvarnel.dll.a
    lib/varnel.def
    lib/varnel.lib
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
        dpkg-deb -x "$dev_package" "$work/root"
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
    local field deb
    for deb in "$package" "$dev_package"; do
        field="$(dpkg-deb -f "$deb" Version)"
        [ "$field" = "$version" ] || Fail "$(basename "$deb")'s version is '$field', not $version"
    done
    field="$(dpkg-deb -f "$package" Depends)"
    for dependency in "${deb_depends[@]}"; do
        [[ ", $field," == *", $dependency "* || ", $field," == *", $dependency,"* ]] ||
            Fail "the .deb does not depend on $dependency (Depends: $field)"
    done
    # The development package goes with exactly this build of the libraries.
    field="$(dpkg-deb -f "$dev_package" Depends)"
    [ "$field" = "varnel-lumetta (= $version)" ] ||
        Fail "the development package depends on '$field', not on varnel-lumetta (= $version)"
}

# The libraries carry their versioned names, and the link names lead to them.
CheckSonames() {
    local library soname
    for library in libvarnel.so.1 libvarnel-lumetta-win32layer.so.1; do
        soname="$(readelf -d "$root/lib/$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
        [ "$soname" = "$library" ] || Fail "$library's SONAME is '$soname'"
        [ "$(readlink "$root/lib/${library%.1}")" = "$library" ] ||
            Fail "${library%.1} does not lead to $library"
    done
}

# One version everywhere: the package's, today-host's, and varnel's version resource, which is
# the package's with a fourth number.
CheckVersions() {
    local output
    output="$(Run "$host" --version)" || Fail "today-host --version failed"
    [ "$output" = "today-host (varnel-lumetta) $upstream_version" ] ||
        Fail "today-host --version printed '$output', not the package's $upstream_version"
    output="$(Run "$decode" --version)" || Fail "varnel-decode --version failed"
    [[ "$output" == "varnel $upstream_version.0 ("* ]] ||
        Fail "varnel-decode --version printed '$output', not varnel $upstream_version.0"
}

# The installed ELF files may not look for libraries in the build tree, which a user does not
# have: they would work here and nowhere else.
CheckRunpaths() {
    local file paths
    for file in "$root"/bin/* "$root"/lib/*.so.* "$root"/lib/varnel-lumetta/*.so; do
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

# Runs an example program of NAME on the packaged sample and holds what it prints and the bitmap
# it writes to the build tree's (reference.bmp, from the build tree's varnel-decode).
RunExample() {
    local name="$1" program="$2" output
    rm -f "$work/example.bmp"
    if ! output="$(Run "$program" "$(ProgramPath "$packaged_sample")" \
        "$(ProgramPath "$work/example.bmp")" 2>&1)"; then
        Fail "$name: the example failed: $output"
        return
    fi
    [ "$output" = "$(ProgramPath "$packaged_sample"): $picture_size" ] ||
        Fail "$name: the example printed '$output', not the size $picture_size"
    cmp -s "$work/example.bmp" "$work/reference.bmp" ||
        Fail "$name: the example's bitmap is not the build tree's"
}

# Linux: the example built with pkg-config's flags (as C89, and as C++), and with CMake's
# find_package(varnel) through the CMakeLists.txt beside it; each runs from the unpacked tree.
CheckExampleLinux() {
    local examples="$root/share/doc/varnel-lumetta-dev/examples" flags
    if ! flags="$(PKG_CONFIG_PATH="$root/lib/pkgconfig" pkg-config --cflags --libs varnel)"; then
        Fail "pkg-config does not find varnel in the package"
        return
    fi
    # shellcheck disable=SC2086 # the flags are words
    if cc -std=c89 -pedantic -Wall -Wextra -Werror -o "$work/decode-c" "$examples/decode.c" \
        $flags -Wl,-rpath,"$root/lib" 2>"$work/cc-errors"; then
        RunExample "pkg-config, C" "$work/decode-c"
    else
        Fail "the example does not build as C89 with pkg-config's flags: $(cat "$work/cc-errors")"
    fi
    # shellcheck disable=SC2086
    if c++ -x c++ -std=c++11 -pedantic -Wall -Wextra -Werror -o "$work/decode-c++" \
        "$examples/decode.c" -x none $flags -Wl,-rpath,"$root/lib" 2>"$work/cc-errors"; then
        RunExample "pkg-config, C++" "$work/decode-c++"
    else
        Fail "the example does not build as C++11 with pkg-config's flags: $(cat "$work/cc-errors")"
    fi
    if cmake -S "$examples" -B "$work/example-build" -DCMAKE_PREFIX_PATH="$root" \
        -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >"$work/cmake-log" 2>&1 &&
        cmake --build "$work/example-build" >>"$work/cmake-log" 2>&1; then
        RunExample "CMake" "$work/example-build/decode"
    else
        Fail "the example does not build with CMake's find_package(varnel): $(cat "$work/cmake-log")"
    fi
}

# Writes a program that calls LoadJpeg on the packaged sample without any C runtime, and exits
# with 0 when it got the picture's size. DECLARATION is how it declares LoadJpeg.
WriteProbe() {
    local declaration="$1" path width height
    path="$(ProgramPath "$packaged_sample")"
    path="${path//\\/\\\\}"
    width="${picture_size% x *}" height="${picture_size#* x }"
    cat >"$work/probe.c" <<PROBE
typedef struct { long x; long y; } Size;
$declaration(void* window, const unsigned short* path, Size* size);
int Entry(void) {
    Size size = {0, 0};
    void* bitmap = LoadJpeg(0, (const unsigned short*)L"$path", &size);
    return bitmap != 0 && size.x == $width && size.y == $height ? 0 : 1;
}
PROBE
}

# Windows: the example built with mingw-w64 for the package's machine, every warning (the
# linker's too) an error, with the import library libvarnel.dll.a with and without dllimport,
# and with one that dlltool makes from the packaged varnel.def; and the probe linked by LLVM's
# linker with the import library in Microsoft's format, varnel.lib, with and without dllimport.
CheckExampleWindows() {
    local cc target way declaration
    case "$package" in
    *-win32.zip) cc=i686-w64-mingw32-gcc target=i686-pc-windows-msvc ;;
    *) cc=x86_64-w64-mingw32-gcc target=x86_64-pc-windows-msvc ;;
    esac
    if ! "${cc%-gcc}-dlltool" -k -d "$root/lib/varnel.def" -l "$work/from-def.dll.a" \
        2>"$work/cc-errors"; then
        Fail "dlltool cannot make an import library of varnel.def: $(cat "$work/cc-errors")"
    fi
    for way in plain dllimport from-def; do
        local defines=(-DVARNEL_DLLIMPORT) library=(-L"$root/lib" -lvarnel)
        [ "$way" != plain ] || defines=()
        [ "$way" != from-def ] || library=("$work/from-def.dll.a")
        if "$cc" -std=c89 -pedantic -Wall -Wextra -Werror "${defines[@]}" -I"$root/include" \
            -o "$root/decode-$way.exe" "$root/examples/decode.c" "${library[@]}" -lgdi32 \
            -Wl,--fatal-warnings 2>"$work/cc-errors"; then
            RunExample "mingw-w64, $way" "$root/decode-$way.exe"
        else
            Fail "the example does not build with mingw-w64 ($way): $(cat "$work/cc-errors")"
        fi
        [ "$way" != from-def ] || continue

        declaration="void* __stdcall LoadJpeg"
        [ "$way" = plain ] || declaration="__declspec(dllimport) $declaration"
        WriteProbe "$declaration"
        if clang --target="$target" -O1 -c "$work/probe.c" -o "$work/probe.obj" \
            2>"$work/cc-errors" &&
            lld-link /nologo /entry:Entry /subsystem:console /nodefaultlib \
                /out:"$root/probe-$way.exe" "$work/probe.obj" "$root/lib/varnel.lib" \
                >"$work/link-errors" 2>&1; then
            Run "$root/probe-$way.exe" >/dev/null ||
                Fail "the program linked with varnel.lib ($way) did not get the picture"
        else
            Fail "cannot link with varnel.lib ($way): $(cat "$work/cc-errors" "$work/link-errors")"
        fi
    done
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
    CheckSonames
    host="$root/bin/today-host" decode="$root/bin/varnel-decode"
    item="$root/lib/varnel-lumetta/liblumetta.so"
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
CheckVersions

# The example programs, against the build tree's bitmap of the sample.
if picture_size="$(Run "$build_decode" "$(ProgramPath "$sample")" \
    "$(ProgramPath "$work/reference.bmp")")"; then
    picture_size="${picture_size#*: }" picture_size="${picture_size% -> *}"
    if [ "$kind" = zip ]; then
        CheckExampleWindows
    else
        CheckExampleLinux
    fi
else
    Fail "the build tree's varnel-decode failed on the sample"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s) in $(basename "$package")" >&2
    exit 1
fi
echo "$(basename "$package"): manifest, programs, pictures and the example as the build tree's"
