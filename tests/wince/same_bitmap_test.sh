#!/usr/bin/env bash
# The Windows LoadJpeg gives the same bitmap as the Linux one: JPEG files of several sizes,
# samplings and options, made with cjpeg, the sample photographs and the decoder's regression
# files, and damaged copies (cut short, bytes overwritten), are decoded by varnel-decode.exe
# under Wine and by the Linux build's varnel-decode. Both must succeed or fail alike, and their
# Windows bitmap files must be byte for byte equal.
#
#   same_bitmap_test.sh WINE_RUN WINDOWS_DECODE LINUX_DECODE WORK_DIR SOURCE_DIR
#
# Exits 77 (reported as skipped) when the Linux varnel-decode has not been built.
set -euo pipefail

wine_run="$1"
windows_decode="$2"
linux_decode="$3"
work="$4"
source_dir="$5"

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

# Decodes FILE on both platforms and compares the outcomes.
Compare() {
    local file="$1" name="$2"
    local linux_status=0 windows_status=0
    rm -f "$work/$name.linux.bmp" "$work/$name.windows.bmp"
    "$linux_decode" "$file" "$work/$name.linux.bmp" >/dev/null 2>&1 || linux_status=$?
    "$wine_run" "$windows_decode" "$file" "$work/$name.windows.bmp" >/dev/null 2>&1 ||
        windows_status=$?
    compared=$((compared + 1))
    if [ "$linux_status" -ne "$windows_status" ]; then
        echo "DIFFERENT outcomes: $name: Linux status $linux_status, Windows status $windows_status" >&2
        failed=$((failed + 1))
    elif [ "$linux_status" -eq 0 ] && ! cmp -s "$work/$name.linux.bmp" "$work/$name.windows.bmp"; then
        echo "DIFFERENT bitmaps: $name" >&2
        failed=$((failed + 1))
    else
        echo "same outcome: $name (status $linux_status)"
    fi
}

# Writes damaged copies of FILE: cut at a third and at two thirds, and with bytes overwritten
# inside the entropy-coded data.
Damage() {
    local file="$1" name="$2" size
    size=$(stat -c %s "$file")
    head -c $((size / 3)) "$file" >"$work/$name-cut1.jpg"
    head -c $((size * 2 / 3)) "$file" >"$work/$name-cut2.jpg"
    cp "$file" "$work/$name-overwritten.jpg"
    printf '\x13\x37\xFF\xD0\x99' |
        dd of="$work/$name-overwritten.jpg" bs=1 seek=$((size * 3 / 4)) conv=notrunc 2>/dev/null
}

index=0
for entry in "${pictures[@]}"; do
    read -r width height options <<<"$entry"
    index=$((index + 1))
    name="picture$index-${width}x$height"
    MakePicture "$width" "$height" "$index" "$work/$name.ppm"
    # shellcheck disable=SC2086
    cjpeg $options -outfile "$work/$name.jpg" "$work/$name.ppm"
    Compare "$work/$name.jpg" "$name"
    if [ $((width * height)) -ge 1000 ]; then
        Damage "$work/$name.jpg" "$name"
        for damaged in cut1 cut2 overwritten; do
            Compare "$work/$name-$damaged.jpg" "$name-$damaged"
        done
    fi
done

# The sample photographs and the regression files of the decoder.
while IFS= read -r -d '' file; do
    name="$(basename "$file" .jpg)"
    Compare "$file" "$name"
done < <(find "$source_dir/samples" "$source_dir/tests/fuzz/regressions" -name '*.jpg' -print0 2>/dev/null)

# A file that is not a JPEG fails on both, and neither writes a bitmap.
printf 'BM not a jpeg' >"$work/not-a-jpeg.jpg"
Compare "$work/not-a-jpeg.jpg" not-a-jpeg
if [ -e "$work/not-a-jpeg.linux.bmp" ] || [ -e "$work/not-a-jpeg.windows.bmp" ]; then
    echo "a bitmap was written for a file that is not a JPEG" >&2
    failed=$((failed + 1))
fi

echo "$((compared - failed)) passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$compared" -gt 0 ]
