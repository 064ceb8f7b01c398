#!/usr/bin/env bash
# today-host.exe under Wine renders the Today screen pixel for pixel as the native Linux build's
# today-host does, for each placement: the item stretches (shrinking the sample photograph,
# enlarging a 5 x 3 picture), centres (on the emulated screen's width, not the machine's) and
# tiles as on the device, and the host's own lines are the same.
#
#   same_screen_test.sh RUNNER WINDOWS_HOST NATIVE_HOST WORK_DIR SAMPLE_JPEG SMALL_JPEG
#
# The Windows side uses the Wine prefix's registry, the native side a database file in WORK_DIR.
# Exits 77 (reported as skipped) when the native today-host has not been built.
set -euo pipefail

runner="$1"
windows_host="$2"
native_host="$3"
work="$4"
sample="$5"
small="$6"

if [ ! -x "$native_host" ]; then
    echo "skipped: no native today-host at $native_host (build the dev preset first)"
    exit 77
fi
command -v compare >/dev/null || {
    echo "compare not found (package imagemagick)" >&2
    exit 1
}
rm -rf "$work"
mkdir -p "$work"
registry="$work/registry.sqlite3"

WinePath() {
    printf 'Z:%s' "${1//\//\\}"
}

failures=0
"$native_host" install --registry "$registry" >/dev/null
"$runner" "$windows_host" install >/dev/null
trap '"$runner" "$windows_host" uninstall >/dev/null || true' EXIT

# mode, picture, item height, screen
while read -r mode picture height screen; do
    name="$mode-$(basename "$picture" .jpg)-$height-$screen"
    "$native_host" set --registry "$registry" --path "$picture" --mode "$mode" \
        --height "$height" >/dev/null
    "$native_host" show --registry "$registry" --screen "$screen" --out "$work/$name-linux.png" \
        >/dev/null
    "$runner" "$windows_host" set --path "$(WinePath "$picture")" --mode "$mode" \
        --height "$height" >/dev/null
    "$runner" "$windows_host" show --screen "$screen" \
        --out "$(WinePath "$work/$name-windows.png")" >/dev/null
    differing="$(compare -metric AE "$work/$name-windows.png" "$work/$name-linux.png" null: 2>&1)" ||
        true
    if [ "$differing" = 0 ]; then
        echo "same: $name"
    else
        echo "FAILED: $name: the Windows screen differs from the Linux one in $differing pixels" \
            "($work/$name-windows.png, $work/$name-linux.png)"
        failures=$((failures + 1))
    fi
done <<EOF_CASES
stretch $sample 180 240x320
stretch $small 60 240x320
center $sample 180 240x320
center $small 30 240x320
tile $small 40 240x320
tile $sample 100 320x240
stretch $sample 100 320x240
EOF_CASES

[ "$failures" -eq 0 ]
