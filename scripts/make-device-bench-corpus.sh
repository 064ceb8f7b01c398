#!/usr/bin/env bash
# Makes the device benchmark's corpus (scripts/device-bench.sh): 20 files the size of what a
# Pocket PC shows or a camera of its time took, 640 x 480 to 2560 x 1920, quality 70 to 100,
# 4:2:0, 4:2:2, 4:4:4 and greyscale, five with restart intervals. Photographs of Debian's
# mate-backgrounds (GPL-2+, see /usr/share/doc/mate-backgrounds/copyright) re-encoded with
# cjpeg, and three baseline originals of plasma-workspace-wallpapers (LGPL-3 and CC-BY-SA, see
# /usr/share/doc/plasma-workspace-wallpapers/copyright) made by other encoders. Smaller than
# varnel-bench's corpus (scripts/make-bench-corpus.sh): every decode runs under an emulator.
# The files are made, not committed; a second run with the files present does nothing.
#
# Usage: scripts/make-device-bench-corpus.sh [OUT_DIR]   (default build/device-bench-corpus)
set -euo pipefail
. "$(dirname "$0")/shipped-originals.sh"

out=${1:-build/device-bench-corpus}
photos=/usr/share/backgrounds/mate/nature
for tool in djpeg cjpeg pamcut pnmscale; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
[ -d "$photos" ] || { echo "missing $photos: run scripts/install-deps.sh" >&2; exit 1; }
if [ -f "$out/.complete" ]; then
    exit 0
fi
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The pictures: photographs whole, cropped or scaled to the sizes measured.
djpeg -pnm "$photos/Wood.jpg" >"$work/2560x1920.ppm"
pnmscale -width 640 -height 480 "$work/2560x1920.ppm" >"$work/640x480.ppm"
djpeg -pnm "$photos/Storm.jpg" | pamcut -left 0 -top 100 -width 1920 -height 1080 >"$work/1920x1080.ppm"
djpeg -pnm "$photos/Garden.jpg" | pamcut -left 320 -top 80 -width 1920 -height 1440 |
    pnmscale -width 1600 -height 1200 >"$work/1600x1200.ppm"
djpeg -pnm "$photos/LadyBird.jpg" | pamcut -left 213 -top 0 -width 2133 -height 1600 |
    pnmscale -width 1024 -height 768 >"$work/1024x768.ppm"

# size, quality, sampling (420, 422, 444, grey), restart interval (cjpeg's -restart) or -.
while read -r size quality sampling restart; do
    name="$size-q$quality-$sampling"
    options=(-quality "$quality")
    case $sampling in
        420) options+=(-sample 2x2) ;;
        422) options+=(-sample 2x1) ;;
        444) options+=(-sample 1x1) ;;
        grey) options+=(-grayscale) ;;
    esac
    if [ "$restart" != - ]; then
        options+=(-restart "$restart")
        name="$name-restart"
    fi
    cjpeg "${options[@]}" -outfile "$out/$name.jpg" "$work/$size.ppm"
done <<'LIST'
640x480 75 grey -
640x480 75 420 -
640x480 85 422 -
640x480 95 420 -
640x480 95 444 -
1024x768 80 422 -
1024x768 90 420 4B
1600x1200 70 420 -
1600x1200 85 grey 8B
1600x1200 100 444 -
1920x1080 75 420 -
1920x1080 75 420 1
1920x1080 90 grey -
1920x1080 95 444 -
2560x1920 75 420 -
2560x1920 85 422 -
2560x1920 92 444 1
LIST

# The shipped originals (baseline), as wallpaper, size and the name's tail: sampling and the
# quality their tables correspond to.
CopyShippedOriginals "$out" <<'LIST'
EveningGlow 2560x1600 q70-420-eveningglow
Path 2560x1600 q75-444-path
Grey 2560x1600 q75-grey-grey
LIST
touch "$out/.complete"
ls "$out"
