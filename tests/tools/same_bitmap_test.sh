#!/usr/bin/env bash
# A cross build's LoadJpeg gives the same bitmap as the native Linux one: JPEG files of several
# sizes, samplings and options made with cjpeg (progressive and arithmetic-coded ones among
# them, which both must refuse), the sample photographs, the decoder's fuzz regression files,
# and damaged copies (cut short, bytes overwritten) are decoded by the cross build's
# varnel-decode, run by its runner (scripts/wine-run.sh for Windows x64 and x86,
# scripts/qemu-arm-run.sh for Linux on ARM), and by the native build's varnel-decode. Both must
# succeed or fail alike, and their Windows bitmap files must be byte for byte equal.
#
#   same_bitmap_test.sh RUNNER CROSS_DECODE NATIVE_DECODE WORK_DIR SOURCE_DIR
#
# Exits 77 (reported as skipped) when the native varnel-decode has not been built.
set -euo pipefail

runner="$1"
cross_decode="$2"
native_decode="$3"
work="$4"
source_dir="$5"

if [ ! -x "$native_decode" ]; then
    echo "skipped: no native varnel-decode at $native_decode (build the dev preset first)"
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
    "48 32 -progressive"
    "48 32 -arithmetic"
)

compared=0
failed=0

# Decodes FILE with both builds and compares the outcomes.
Compare() {
    local file="$1" name="$2"
    local native_status=0 cross_status=0
    rm -f "$work/$name.native.bmp" "$work/$name.cross.bmp"
    "$native_decode" "$file" "$work/$name.native.bmp" >/dev/null 2>&1 || native_status=$?
    "$runner" "$cross_decode" "$file" "$work/$name.cross.bmp" >/dev/null 2>&1 ||
        cross_status=$?
    compared=$((compared + 1))
    if [ "$native_status" -ne "$cross_status" ]; then
        echo "DIFFERENT outcomes: $name: native status $native_status, cross build's $cross_status" >&2
        failed=$((failed + 1))
    elif [ "$native_status" -eq 0 ] && ! cmp -s "$work/$name.native.bmp" "$work/$name.cross.bmp"; then
        echo "DIFFERENT bitmaps: $name" >&2
        failed=$((failed + 1))
    else
        echo "same outcome: $name (status $native_status)"
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

# The sample photographs and the regression files of the decoder's fuzz targets (whatever
# their names), and the JPEG files among the other targets' regression files.
while IFS= read -r -d '' file; do
    name="$(basename "$file" .jpg)"
    Compare "$file" "$name"
done < <(
    find "$source_dir/samples" "$source_dir/tests/fuzz/regressions" -name '*.jpg' -print0 2>/dev/null
    find "$source_dir/tests/fuzz/regressions/differential_fuzzer" \
        "$source_dir/tests/fuzz/regressions/load_jpeg_fuzzer" -type f ! -name '*.jpg' \
        ! -name '*.md' -print0 2>/dev/null
)

# A file that is not a JPEG fails on both, and neither writes a bitmap.
printf 'BM not a jpeg' >"$work/not-a-jpeg.jpg"
Compare "$work/not-a-jpeg.jpg" not-a-jpeg
if [ -e "$work/not-a-jpeg.native.bmp" ] || [ -e "$work/not-a-jpeg.cross.bmp" ]; then
    echo "a bitmap was written for a file that is not a JPEG" >&2
    failed=$((failed + 1))
fi

echo "$((compared - failed)) passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$compared" -gt 0 ]
