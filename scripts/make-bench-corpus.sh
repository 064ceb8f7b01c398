#!/usr/bin/env bash
# Makes the benchmark corpus of varnel-bench. Real photographs of Debian's mate-backgrounds
# package (GPL-2+, see /usr/share/doc/mate-backgrounds/copyright), re-encoded with cjpeg:
# 640 x 480, 1920 x 1080 and 4000 x 3000 pixels; quality 75 and 95; 4:2:0, 4:4:4 and
# greyscale; and one file with a restart marker after every MCU row. Beside them, baseline
# originals as Debian's plasma-workspace-wallpapers package ships them (LGPL-3 and CC-BY-SA,
# see /usr/share/doc/plasma-workspace-wallpapers/copyright), encoded by other encoders than
# cjpeg, 4:2:2 among them; they are left out, with a note, when that package is missing. The
# files are made, not committed.
#
# Usage: scripts/make-bench-corpus.sh [OUT_DIR]   (default build/bench-corpus)
set -euo pipefail
. "$(dirname "$0")/shipped-originals.sh"

out=${1:-build/bench-corpus}
photos=/usr/share/backgrounds/mate
for tool in djpeg cjpeg pamcut pnmscale; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
[ -d "$photos" ] || { echo "missing $photos: run scripts/install-deps.sh" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The pictures: a crop of the largest photograph, a crop and a scaled-down one of others.
djpeg -pnm "$photos/abstract/Elephants_5640x3172.jpg" |
    pamcut -left 820 -top 86 -width 4000 -height 3000 >"$work/4000x3000.ppm"
djpeg -pnm "$photos/nature/Storm.jpg" |
    pamcut -left 0 -top 100 -width 1920 -height 1080 >"$work/1920x1080.ppm"
djpeg -pnm "$photos/nature/Wood.jpg" | pnmscale -width 640 -height 480 >"$work/640x480.ppm"

for size in 640x480 1920x1080 4000x3000; do
    for quality in 75 95; do
        cjpeg -quality $quality -sample 2x2 -outfile "$out/${size}-q${quality}-420.jpg" "$work/$size.ppm"
        cjpeg -quality $quality -sample 1x1 -outfile "$out/${size}-q${quality}-444.jpg" "$work/$size.ppm"
        cjpeg -quality $quality -grayscale -outfile "$out/${size}-q${quality}-grey.jpg" "$work/$size.ppm"
    done
done
cjpeg -quality 75 -sample 2x2 -restart 1 -outfile "$out/1920x1080-q75-420-restart.jpg" \
    "$work/1920x1080.ppm"

# The shipped originals, baseline ones only (several of the package's are progressive), as
# wallpaper, size, sampling and the quality their tables correspond to.
CopyShippedOriginals "$out" <<'LIST'
Honeywave 5120x2880 q90-422-honeywave
Shell 5120x2880 q90-422-shell
SafeLanding 5120x2880 q80-420-safelanding
EveningGlow 2560x1600 q70-420-eveningglow
Path 2560x1600 q75-444-path
ColdRipple 2560x1600 q90-444-coldripple
Grey 2560x1600 q75-grey-grey
LIST
ls -l "$out"
