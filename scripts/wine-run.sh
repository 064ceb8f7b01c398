#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in one of the project's own Wine prefixes.
#
#   scripts/wine-run.sh [--init [win64 | win32] | --check [win64 | win32] | --stop]
#                       [PROGRAM [ARGS...]]
#
# 64-bit programs run in a 64-bit prefix and 32-bit (x86) programs in a 32-bit prefix with
# 32-bit Wine (Debian's wine32 from the i386 architecture); which one a program needs is read
# from the machine field of its PE header. The prefixes live under build/ (wineprefix and
# wineprefix-win32; PROJECT_WINEPREFIX names the 64-bit one, whose name with "-win32" added is
# the 32-bit one); the user's own prefix is never touched. A prefix is created on first use with
# the null graphics driver (windows and dialogs work without a display; the screen is
# 1024 x 768) and with winedbg disabled, so that a crash ends the program with status 5 instead
# of hanging on an invisible dialog. A wineserver is kept alive between runs (WINE_RUN_PERSIST
# seconds, 60 by default) so that each program does not pay the server's start-up.
#
# Every run has a timeout (WINE_RUN_TIMEOUT seconds, 120 by default). A crash (status 5) or a
# timeout is reported and gives a non-zero status. A GoogleTest program passes only when its
# output ends with the "[  PASSED  ]" summary and names no failed test; a crash that Wine turns
# into status 0 therefore still fails. Other programs keep their own exit status.
#
# --init only creates a prefix (the 64-bit one unless win32 is named) and starts its server;
# --stop ends the servers of both prefixes and the Wine processes that they keep. --check tells,
# by its status, whether this machine runs Wine of that architecture at all: 32-bit Wine needs
# a kernel that runs 32-bit x86 programs, and some kernels are built or booted without that
# (IA32 emulation off); on such a machine --init win32 says so and makes no prefix. Used as
# CMAKE_CROSSCOMPILING_EMULATOR.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix64="${PROJECT_WINEPREFIX:-$root/build/wineprefix}"
prefix32="$prefix64-win32"
timeout_s="${WINE_RUN_TIMEOUT:-120}"
persist_s="${WINE_RUN_PERSIST:-60}"

# Prints win32 for a 32-bit x86 PE file, win64 otherwise (x64, or not a PE file at all, which
# Wine then reports itself).
PeArch() {
    local offset machine
    offset="$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')"
    [ -n "$offset" ] || { echo win64; return; }
    machine="$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')"
    if [ "$machine" = "014c" ]; then echo win32; else echo win64; fi
}

# Sets the loader, server and prefix of ARCH (win64 or win32), and runs to 0 when this machine
# cannot run that Wine.
UseArch() {
    arch="$1"
    runs=1
    if [ "$arch" = win32 ]; then
        prefix="$prefix32"
        # Debian's wine32 (i386) installs the 32-bit loader and server here.
        loader=/usr/lib/wine/wine
        server=/usr/lib/wine/wineserver32
        [ -x "$server" ] || server=/usr/lib/wine/wineserver
        if [ ! -x "$loader" ]; then
            echo "wine-run: no 32-bit Wine found (scripts/install-deps.sh installs wine32:i386)" >&2
            exit 2
        fi
        # The loader is an i386 program: a kernel without 32-bit x86 support refuses it with
        # "Exec format error" (status 126) before Wine starts.
        "$loader" --version >/dev/null 2>&1
        if [ $? -eq 126 ]; then
            runs=0
        fi
        return
    fi
    prefix="$prefix64"
    # Debian's wine64 package installs its loader outside the PATH; its "wine" wrapper prefers
    # a 32-bit loader and prints a hint on every start.
    if [ -x /usr/lib/wine/wine64 ]; then
        loader=/usr/lib/wine/wine64
    elif command -v wine64 >/dev/null 2>&1; then
        loader="$(command -v wine64)"
    elif command -v wine >/dev/null 2>&1; then
        loader="$(command -v wine)"
    else
        echo "wine-run: no Wine found (scripts/install-deps.sh installs it)" >&2
        exit 2
    fi
    if [ -x /usr/lib/wine/wineserver64 ]; then
        server=/usr/lib/wine/wineserver64
    else
        server="$(command -v wineserver)" || {
            echo "wine-run: no wineserver found" >&2
            exit 2
        }
    fi
}

ReportCannotRun() {
    echo "wine-run: this machine's kernel does not run 32-bit x86 programs (IA32 emulation is" \
        "off), so 32-bit Wine cannot start here" >&2
}

# Debian's Wine has no preloader to reserve the low addresses that Windows programs expect, so
# with address space randomisation a program now and then fails to start ("failed to map the
# shared user data"), or a process it starts fails with error 1359. Wine's processes therefore
# run without randomisation, where the kernel lets us switch it off (processes they start
# inherit that).
fixed_layout=()
if setarch "$(uname -m)" -R true >/dev/null 2>&1; then
    fixed_layout=(setarch "$(uname -m)" -R)
fi

export WINEDEBUG="${WINE_RUN_DEBUG:--all}"
# No Mono or Gecko installer, no menu entries in the user's desktop, and no debugger on a crash.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# Exports what Wine needs to run in the prefix of the chosen architecture.
ExportArch() {
    export WINEPREFIX="$prefix"
    export WINEARCH="$arch"
    export WINELOADER="$loader"
    export WINESERVER="$server"
}

CreatePrefix() {
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/.headless-ready" ]; then
        echo "wine-run: creating the Wine prefix $prefix" >&2
        rm -rf "$prefix"
        if ! "${fixed_layout[@]}" "$loader" wineboot -i >"$prefix.log" 2>&1 9>&-; then
            cat "$prefix.log" >&2
            echo "wine-run: wineboot failed" >&2
            exit 2
        fi
        "${fixed_layout[@]}" "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
            >>"$prefix.log" 2>&1
        # The desktop process that wineboot started still has no driver: end it, so that the
        # first windowed program starts a new one with the null driver.
        "$server" -k >/dev/null 2>&1 || true
        "$server" -w >/dev/null 2>&1 || true
        touch "$prefix/.headless-ready"
    fi
    # Starts the server or, when one runs already, renews its persistence.
    "$server" -p"$persist_s" </dev/null >/dev/null 2>&1 9>&-
    flock -u 9
    exec 9>&-
}

if [ "${1:-}" = "--stop" ]; then
    for stop_arch in win64 win32; do
        if [ "$stop_arch" = win32 ] && [ ! -x /usr/lib/wine/wine ]; then
            continue
        fi
        UseArch "$stop_arch"
        ExportArch
        if [ "$runs" -eq 1 ] && [ -d "$prefix" ]; then
            "$server" -k >/dev/null 2>&1 || true
        fi
    done
    exit 0
fi
if [ "${1:-}" = "--init" ] || [ "${1:-}" = "--check" ]; then
    case "${2:-win64}" in
    win64 | win32) UseArch "${2:-win64}" ;;
    *)
        echo "usage: wine-run.sh $1 [win64 | win32]" >&2
        exit 2
        ;;
    esac
    if [ "$runs" -eq 0 ]; then
        ReportCannotRun
    fi
    if [ "$1" = "--check" ]; then
        exit $((1 - runs))
    fi
    if [ "$runs" -eq 1 ]; then
        ExportArch
        CreatePrefix
    fi
    exit 0
fi
if [ $# -eq 0 ]; then
    echo "usage: wine-run.sh [--init [win64 | win32] | --check [win64 | win32] | --stop]" \
        "[PROGRAM [ARGS...]]" >&2
    exit 2
fi
UseArch "$(PeArch "$1")"
if [ "$runs" -eq 0 ]; then
    ReportCannotRun
    exit 2
fi
ExportArch
CreatePrefix

# A GoogleTest program running tests (the listing of tests is not a run).
gtest_run=0
listing=0
for arg in "$@"; do
    case "$arg" in
    --gtest_list_tests) listing=1 ;;
    --gtest_*) gtest_run=1 ;;
    esac
done
if [ "$listing" -eq 1 ]; then
    gtest_run=0
fi
if [ "${WINE_RUN_GTEST:-0}" = 1 ]; then
    gtest_run=$((1 - listing))
fi

# The program writes into files, not into the caller's pipes: Wine's helper processes
# (services, the desktop process) inherit the descriptors of the program that starts them and
# live on with the server, and a caller such as ctest would wait for them to close the pipes.
output="$(mktemp)"
errors="$(mktemp)"
trap 'rm -f "$output" "$errors"' EXIT
timeout -k 5 "$timeout_s" "${fixed_layout[@]}" "$loader" "$@" >"$output" 2>"$errors"
status=$?
if [ "$gtest_run" -eq 1 ] || [ "$listing" -eq 1 ]; then
    # msvcrt writes text-mode line ends; the readers of test output expect "\n".
    tr -d '\r' <"$output"
else
    cat "$output"
fi
cat "$errors" >&2

case "$status" in
124 | 137)
    echo "wine-run: $1 did not finish within ${timeout_s} s" >&2
    exit 124
    ;;
5)
    echo "wine-run: $1 crashed (Wine status 5)" >&2
    exit 5
    ;;
esac

if [ "$gtest_run" -eq 1 ]; then
    if grep -q '^\[  FAILED  \]' "$output"; then
        exit $((status == 0 ? 1 : status))
    fi
    if ! grep -q '^\[  PASSED  \]' "$output"; then
        echo "wine-run: $1 ended (status $status) without the test summary: it crashed or quit early" >&2
        exit $((status == 0 ? 1 : status))
    fi
fi
exit "$status"
