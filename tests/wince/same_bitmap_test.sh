#!/usr/bin/env bash
# The Windows LoadJpeg gives the same bitmap as the Linux one: JPEG files of several sizes,
# samplings and options, made with cjpeg, are decoded by varnel-decode.exe under Wine and by
# the Linux build's varnel-decode, and the two Windows bitmap files must be byte for byte equal.
#
#   same_bitmap_test.sh WINE_RUN WINDOWS_DECODE LINUX_DECODE WORK_DIR
#
# Exits 77 (reported as skipped) when the Linux varnel-decode has not been built.
set -euo pipefail

wine_run="$1"
windows_decode="$2"
linux_decode="$3"
work="$4"

if [ ! -x "$linux_decode" ]; then
    echo "skipped: no Linux varnel-decode at $linux_decode (build the dev preset first)"
    exit 77
fi
command -v cjpeg >/dev/null || {
    echo "cjpeg not found (package libjpeg-turbo-progs)" >&2
    exit 1
}
rm -rf "$work"
mkdir -p "$work"

# Writes a binary PPM of WIDTH x HEIGHT: gradients, a hard edge and pseudo-random noise, the
# same for the same arguments.
MakePicture() {
    LC_ALL=C awk -v w="$1" -v h="$2" -v seed="$3" 'BEGIN {
        printf "P6\n%d %d\n255\n", w, h
        s = seed
        for (y = 0; y < h; y++) {
            for (x = 0; x < w; x++) {
                s = (s * 1103515245 + 12345) % 2147483648
                noise = int(s / 65536) % 32
                r = int(255 * x / (w > 1 ? w - 1 : 1))
                g = int(255 * y / (h > 1 ? h - 1 : 1))
                b = (x > w / 2) ? 220 : 30
                r = (r + noise) % 256; g = (g + noise) % 256; b = (b + noise) % 256
                printf "%c%c%c", r, g, b
            }
        }
    }' >"$4"
}

pictures=(
    "1 1 -sample 1x1"
    "5 3 -sample 2x2"
    "97 61 -sample 2x2 -quality 90"
    "64 48 -sample 1x1 -quality 100"
    "33 70 -sample 2x1 -restart 2B"
    "40 40 -sample 1x2 -optimize"
    "73 29 -grayscale"
    "128 96 -sample 2x2 -restart 1"
)

compared=0
failed=0
index=0
for entry in "${pictures[@]}"; do
    read -r width height options <<<"$entry"
    index=$((index + 1))
    name="picture$index-${width}x$height"
    MakePicture "$width" "$height" "$index" "$work/$name.ppm"
    # shellcheck disable=SC2086
    cjpeg $options -outfile "$work/$name.jpg" "$work/$name.ppm"
    "$linux_decode" "$work/$name.jpg" "$work/$name.linux.bmp"
    "$wine_run" "$windows_decode" "$work/$name.jpg" "$work/$name.windows.bmp"
    if cmp "$work/$name.linux.bmp" "$work/$name.windows.bmp"; then
        echo "same bitmap: $name ($options)"
    else
        echo "DIFFERENT bitmaps: $name ($options)" >&2
        failed=$((failed + 1))
    fi
    compared=$((compared + 1))
done

# A file that is not a JPEG fails on both.
printf 'BM not a jpeg' >"$work/not-a-jpeg.jpg"
linux_status=0
"$linux_decode" "$work/not-a-jpeg.jpg" "$work/none.linux.bmp" 2>/dev/null || linux_status=$?
windows_status=0
"$wine_run" "$windows_decode" "$work/not-a-jpeg.jpg" "$work/none.windows.bmp" 2>/dev/null ||
    windows_status=$?
if [ "$linux_status" -ne 1 ] || [ "$windows_status" -ne 1 ]; then
    echo "not a JPEG: Linux status $linux_status, Windows status $windows_status, expected 1" >&2
    failed=$((failed + 1))
fi
compared=$((compared + 1))

echo "$((compared - failed)) passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$compared" -gt 0 ]
