#!/usr/bin/env bash
# Pictures for people (not run by CI): screenshots of the Windows build under Wine on a virtual X
# screen the size of the device's (240 x 320): the Today screen with the picture item, the options
# dialog (template 500) and each of its message boxes, with the Japanese text rendered.
#
#   scripts/windows-screenshots.sh [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR is a build of the mingw preset (default build/mingw), OUT_DIR where the PNG files go
# (default docs/screenshots). The Wine prefix is the script's own (build/wineprefix-screenshots),
# with the X11 graphics driver rather than the tests' null driver, and with Debian's IPA Gothic
# fonts standing in for the fonts that the dialog and the message boxes ask for. Installs Xvfb,
# the fonts and ImageMagick from Debian's archive when they are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/mingw}" && pwd)"
out="${2:-$root/docs/screenshots}"
host="$build/bin/today-host.exe"
if [ ! -f "$host" ]; then
    echo "windows-screenshots: no $host (build the mingw preset first)" >&2
    exit 2
fi
mkdir -p "$out"

missing=()
for package in xvfb fonts-ipafont-gothic imagemagick wine64; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

export WINEPREFIX="$root/build/wineprefix-screenshots"
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d"
wine=("$WINELOADER")

# A virtual X screen: the items and the dialog measure it.
xvfb_pid=""
StopScreen() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}
StartScreen() {
    StopScreen
    local number=57
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    export DISPLAY=":$number"
    Xvfb "$DISPLAY" -screen 0 "$1"x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    sleep 1
}
trap StopScreen EXIT
StartScreen 240x320

Run() {
    timeout -k 5 120 "${wine[@]}" "$@" 2>/dev/null
}

if [ ! -f "$WINEPREFIX/.screenshots-ready" ]; then
    echo "windows-screenshots: creating the Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    timeout -k 5 300 "${wine[@]}" wineboot -i >/dev/null 2>&1
    # The dialog's fonts, and the message boxes' (Tahoma), shown with IPA Gothic.
    for font in "ＭＳ Ｐゴシック" "MS UI Gothic"; do
        Run reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d IPAPGothic /f >/dev/null
    done
    Run reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "ＭＳ ゴシック" /d IPAGothic /f >/dev/null
    for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
        Run reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$font" /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null
    done
    # No window manager runs on the virtual screen: Wine draws the title bars and frames.
    Run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    Run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
    "$WINESERVER" -w
    touch "$WINEPREFIX/.screenshots-ready"
fi

WinePath() {
    printf 'Z:%s' "$1" | tr / '\\'
}
picture="$(WinePath "$root/samples/ladybird.jpg")"

# Takes a screenshot after the given number of seconds.
Shoot() {
    sleep "$1"
    import -window root "$out/$2"
    echo "windows-screenshots: $out/$2"
}

Run "$host" uninstall >/dev/null || true
Run "$host" install >/dev/null
Run "$host" set --path "$picture" --mode center --height 120 >/dev/null

# The device's screen: the Today screen as show draws it (the host's bars and lines are drawn
# into its picture, not into the window), and the dialog as it opens.
Run "$host" show --out "$(WinePath "$out/today-screen.png")" >/dev/null
echo "windows-screenshots: $out/today-screen.png"
Run "$host" options --mode tile --delay 8000 >/dev/null &
Shoot 5 options-dialog.png
wait $! || true

# The message boxes' texts are long lines without spaces, which no word break wraps: a wider
# screen of the device's height shows them whole.
StartScreen 640x320
# Each action waits 6 s, so a box is on the screen from about 6 s after the action before it;
# the screenshot is taken in the middle of that time.
Run "$host" show --out "$(WinePath "$build/today-screenshot.png")" >/dev/null  # starts Wine
Run "$host" options --height 0 --delay 6000 >/dev/null &
Shoot 15 message-height.png
wait $! || true

Run "$host" options --path 'Z:\no\such\picture.bmp' --delay 6000 >/dev/null &
Shoot 15 message-no-file.png
wait $! || true

Run "$host" options --remove --delay 6000 >/dev/null &
Shoot 9 message-confirm-removal.png
wait $! || true

Run "$host" options --remove --yes --delay 6000 >/dev/null &
Shoot 15 message-removed.png
wait $! || true
