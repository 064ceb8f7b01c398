#!/usr/bin/env bash
# today-host.exe in a Wine prefix of the X11 graphics driver with no display (a fresh prefix on a
# server): show cannot create its window, says so and prints the command that runs it on a
# desktop of Wine's null driver instead; that command, run as printed, writes the screen.
#
#   no_display_test.sh RUNNER HOST WORK_DIR win64|win32
#
# RUNNER is scripts/wine-run.sh (which runs without DISPLAY); the prefix of HOST's architecture
# is WORK_DIR/prefix (WORK_DIR/prefix-win32), made once with the X11 driver (the null driver that
# wine-run.sh sets is taken away again). Exits 77 (skipped) where that Wine cannot run.
set -euo pipefail

runner="$1"
host="$2"
work="$3"
arch="$4"
export PROJECT_WINEPREFIX="$work/prefix"
prefix="$PROJECT_WINEPREFIX"
[ "$arch" = win64 ] || prefix="$PROJECT_WINEPREFIX-win32"
mkdir -p "$work"
if ! "$runner" --check "$arch"; then
    echo "skipped: this machine does not run $arch Wine"
    exit 77
fi

if [ ! -f "$prefix/.x11-driver" ]; then
    "$runner" --init "$arch"
    # The prefix's own reg.exe, of the prefix's architecture, edits that prefix's registry.
    "$runner" "$prefix/drive_c/windows/system32/reg.exe" delete 'HKCU\Software\Wine\Drivers' \
        /v Graphics /f >/dev/null
    "$runner" --stop
    touch "$prefix/.x11-driver"
fi
trap '"$runner" --stop || true' EXIT

WinePath() {
    printf 'Z:%s' "${1//\//\\}"
}

Fail() {
    echo "FAILED: $*"
    exit 1
}

rm -f "$work/screen.png" "$work/errors.txt"
"$runner" "$host" install >/dev/null
status=0
"$runner" "$host" show --out "$(WinePath "$work/screen.png")" >/dev/null 2>"$work/errors.crlf" ||
    status=$?
# The C runtime ends its lines with "\r\n".
tr -d '\r' <"$work/errors.crlf" >"$work/errors.txt"
cat "$work/errors.txt"
[ "$status" -eq 1 ] || Fail "show exited with $status, not 1"
[ ! -e "$work/screen.png" ] || Fail "show wrote a screen although it had no window"
grep -q "^today-host: cannot create the host window: Wine has no display" "$work/errors.txt" ||
    Fail "show did not say why it has no window"
command="$(grep '^  wine explorer /desktop=today-host,240x320,null ' "$work/errors.txt")" ||
    Fail "show did not print the command to use"

# The command as printed, with this build's Wine runner for "wine".
eval "\"\$runner\" ${command#  wine }" >/dev/null
[ -s "$work/screen.png" ] || Fail "the printed command wrote no screen"
size="$(identify -format '%wx%h' "$work/screen.png")"
[ "$size" = 240x320 ] || Fail "the printed command wrote a screen of $size"
echo "the printed command wrote a 240x320 screen"
