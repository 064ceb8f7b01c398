#!/usr/bin/env bash
# The device benchmark: counts the ARM instructions that one decode takes with varnel's
# LoadJpeg and with libjpeg-turbo's TurboJPEG (its C code) on the device build (armel,
# ARMv4T, soft-float) under qemu-arm's XScale PXA250, with the project's qemu plugin, and
# prints instructions per pixel, their ratio, the split into multiplies, loads, stores and
# branches, the first call's extra cost and geometric means; or, with --profile FILE, one
# decode's instructions per function. The counts are the same on every run.
#
#   scripts/device-bench.sh [options]
#     --source DIR     the source tree whose decoder is measured (default: this one), e.g.
#                      another worktree; its build goes in DIR/build/device-bench
#     --build-dir DIR  where that tree's armel build goes instead
#     --cmake-arg ARG  an argument for the first configure of that build (repeatable), such as
#                      -DVARNEL_PORTABLE_KERNELS=ON; give a fresh --build-dir with it
#     --corpus DIR     the files (default: build/device-bench-corpus of this tree, made by
#                      scripts/make-device-bench-corpus.sh when missing)
#     --files TEXT     only the files whose names contain TEXT
#     --profile FILE   instructions per function of one decode of FILE
#     --decoder NAME   what --profile profiles: varnel (default), turbo or turbo-fast
#     --top N          functions listed by --profile (default 25)
#     --check-alignment instead of counting, decode every file once with every load and store
#                      watched, and list the misaligned halfword and word accesses (which the
#                      devices cannot make); fails when varnel's code made one
#     --cpu MODEL      qemu's processor model (default pxa250)
#     --jobs N         runs at a time (default 2)
#
# What it builds: the plugin (tools/device-bench/insn_counter_plugin.c) and the driver
# (device_bench.cpp) for this machine in build/device-bench-host of this tree; the armel
# libraries (scripts/armel-sysroot.sh); and device-bench-harness with the source tree's
# decoder, configured with this tree's armel toolchain file.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source_dir=$here
build_dir=""
corpus=$here/build/device-bench-corpus
driver_args=()
cmake_args=()
while [ $# -gt 0 ]; do
    case $1 in
        --source) source_dir=$(cd "$2" && pwd); shift 2 ;;
        --build-dir) build_dir=$2; shift 2 ;;
        --cmake-arg) cmake_args+=("$2"); shift 2 ;;
        --corpus) corpus=$2; shift 2 ;;
        --files | --decoder | --top | --cpu | --jobs) driver_args+=("$1" "$2"); shift 2 ;;
        --check-alignment) driver_args+=("$1"); shift ;;
        --profile) driver_args+=(--profile "$(realpath "$2")"); shift 2 ;;
        -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "device-bench: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done
build_dir=${build_dir:-$source_dir/build/device-bench}
for tool in gcc g++ arm-linux-gnueabi-g++ arm-linux-gnueabi-nm qemu-arm cmake ninja; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

# The plugin and the driver, for this machine (rebuilt when their sources change).
host=$here/build/device-bench-host
bench=$here/tools/device-bench
mkdir -p "$host"
# Each is built beside and then renamed over the old one, so that runs going on meanwhile
# (another worktree's, say) keep the file they loaded.
if [ ! -f "$host/insn_counter_plugin.so" ] ||
    [ -n "$(find "$bench" -name '*.[ch]' -newer "$host/insn_counter_plugin.so")" ]; then
    gcc -std=c11 -O2 -Wall -Wextra -Werror -fPIC -shared -fvisibility=hidden \
        -o "$host/insn_counter_plugin.so.$$" "$bench/insn_counter_plugin.c" "$bench/arm_insn_class.c"
    mv -f "$host/insn_counter_plugin.so.$$" "$host/insn_counter_plugin.so"
fi
if [ ! -f "$host/device-bench" ] || [ "$bench/device_bench.cpp" -nt "$host/device-bench" ]; then
    g++ -std=c++20 -O2 -Wall -Wextra -Werror -o "$host/device-bench.$$" "$bench/device_bench.cpp"
    mv -f "$host/device-bench.$$" "$host/device-bench"
fi

# The armel libraries, and the harness with the source tree's decoder.
"$here/scripts/armel-sysroot.sh"
sysroot=$here/build/armel-sysroot
configure=(-G Ninja -S "$source_dir" -B "$build_dir"
           -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/arm-linux-gnueabi.cmake"
           -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROJECT_BUILD_TESTS=OFF)
if command -v ccache >/dev/null; then
    configure+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
configure+=("${cmake_args[@]}")
if [ ! -f "$source_dir/tools/device-bench/CMakeLists.txt" ]; then
    # A tree without the benchmark: its harness comes from this tree.
    configure+=(-DCMAKE_PROJECT_INCLUDE="$bench/other_source_tree.cmake")
fi
mkdir -p "$build_dir"
if [ ${#cmake_args[@]} -gt 0 ] && [ -f "$build_dir/build.ninja" ]; then
    echo "device-bench: --cmake-arg applies to a new build; $build_dir is configured already" >&2
    exit 2
fi
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake "${configure[@]}" >"$build_dir/device-bench-configure.log" 2>&1 ||
        { cat "$build_dir/device-bench-configure.log" >&2; exit 1; }
fi
cmake --build "$build_dir" --target device-bench-harness -j2 >"$build_dir/device-bench-build.log" 2>&1 ||
    { tail -40 "$build_dir/device-bench-build.log" >&2; exit 1; }
harness=$(find "$build_dir" -name device-bench-harness -type f -perm -u+x | head -1)
[ -n "$harness" ] || { echo "device-bench: no device-bench-harness in $build_dir" >&2; exit 1; }

if [[ " ${driver_args[*]} " != *" --profile "* ]]; then
    "$here/scripts/make-device-bench-corpus.sh" "$corpus" >/dev/null
    driver_args+=("$corpus")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$host/device-bench" --harness "$harness" --plugin "$host/insn_counter_plugin.so" \
    --prefix /usr/arm-linux-gnueabi \
    --library-path "/usr/arm-linux-gnueabi/lib:$sysroot/usr/lib/arm-linux-gnueabi:$sysroot/lib/arm-linux-gnueabi" \
    --nm arm-linux-gnueabi-nm --work "$work" "${driver_args[@]}"
