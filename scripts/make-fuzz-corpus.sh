#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets (tests/fuzz) from real files: JPEG files written
# by cjpeg with the sampling, restart and table options that matter, Windows bitmap files
# written by ImageMagick in every depth and compression it has, the dialog templates that
# llvm-rc compiles from lumetta's resource script and from a small extended one, registry call
# sequences, and item inputs (settings bytes followed by a picture). Nothing here is committed.
#
# Usage: scripts/make-fuzz-corpus.sh [OUT_DIR]   (default build/fuzz-corpus); one folder per
# target inside it.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/fuzz-corpus}
for tool in cjpeg convert llvm-rc python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in differential_fuzzer load_jpeg_fuzzer bmp_decode_fuzzer dialog_template_fuzzer \
              registry_fuzzer item_fuzzer; do
    mkdir -p "$out/$target"
done

# Small pictures of odd sizes, so that partial MCUs and row padding are met.
for size in 1x1 7x5 17x9 33x16 48x40; do
    convert -size "$size" plasma:fractal -seed 7 "$work/p$size.ppm" 2>/dev/null ||
        convert -size "$size" gradient:red-blue "$work/p$size.ppm"
done

# JPEG: 4:2:0, 4:4:4, 4:2:2, 2x2 luma with 1x2 chroma, greyscale, restarts, optimised tables.
n=0
for picture in "$work"/p*.ppm; do
    for options in "" "-sample 1x1" "-sample 2x1" "-sample 2x2,1x2,1x1" "-grayscale" \
                   "-restart 1B" "-optimize -quality 30" "-quality 100 -sample 1x1"; do
        n=$((n + 1))
        # shellcheck disable=SC2086
        cjpeg -baseline $options -outfile "$out/differential_fuzzer/seed$n.jpg" "$picture"
    done
done
# A real photograph, and files cut short inside the headers and inside the scan.
cp samples/ladybird.jpg "$out/differential_fuzzer/ladybird.jpg"
head -c 400 samples/ladybird.jpg > "$out/differential_fuzzer/cut-in-headers.jpg"
head -c 3000 samples/ladybird.jpg > "$out/differential_fuzzer/cut-in-scan.jpg"
cp "$out"/differential_fuzzer/* "$out/load_jpeg_fuzzer/"

# Windows bitmap files: 1, 4, 8 (plain and RLE), 16 (5-6-5), 24 and 32 bits with alpha, with
# the 40-byte header and the larger ones.
b=0
for picture in "$work"/p7x5.ppm "$work"/p17x9.ppm "$work"/p33x16.ppm; do
    for options in "BMP3:" "BMP2:" "BMP:" "-monochrome BMP3:" "-colors 16 BMP3:" \
                   "-colors 200 BMP3:" "-colors 200 -compress RLE BMP3:" \
                   "-colors 12 -compress RLE BMP3:" "-define bmp:subtype=RGB565 BMP:" \
                   "-alpha set -channel A -evaluate set 50% BMP:"; do
        b=$((b + 1))
        format=${options##* }
        flags=${options% *}
        [ "$flags" = "$options" ] && flags=""
        # shellcheck disable=SC2086
        convert "$picture" $flags "${format}$out/bmp_decode_fuzzer/seed$b.bmp" 2>/dev/null || true
    done
done

# Dialog templates: every RT_DIALOG resource of lumetta.rc and of an extended template.
cat > "$work/extended.rc" <<'RC'
#define DS_SETFONT 0x40
1 DIALOGEX 0, 0, 160, 90
STYLE DS_SETFONT | 0x80000000
CAPTION "Extended"
FONT 9, "Tahoma", 700, 1, 0
BEGIN
    LTEXT "Name", 10, 4, 4, 40, 10
    EDITTEXT 11, 48, 4, 100, 12
    COMBOBOX 12, 48, 20, 100, 60, 0x0003
    PUSHBUTTON "OK", 1, 4, 60, 40, 14
    CONTROL "Custom", 13, "MyClass", 0x50000000, 4, 40, 40, 14
END
2 DIALOG 0, 0, 100, 40
CAPTION "Plain"
BEGIN
    DEFPUSHBUTTON "OK", 1, 4, 4, 40, 14
END
RC
llvm-rc /C 65001 /FO "$work/lumetta.res" -- todayitem/lumetta.rc
llvm-rc /C 65001 /FO "$work/extended.res" -- "$work/extended.rc"
python3 - "$work/lumetta.res" "$work/extended.res" "$out/dialog_template_fuzzer" <<'PY'
import struct, sys

def name(data, at):
    if struct.unpack_from('<H', data, at)[0] == 0xFFFF:
        return struct.unpack_from('<H', data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from('<H', data, end)[0] != 0:
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2

count = 0
for path in sys.argv[1:-1]:
    data = open(path, 'rb').read()
    at = 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from('<II', data, at)
        kind, after = name(data, at + 8)
        ident, after = name(data, after)
        body = data[at + header:at + header + size]
        if kind == 5:  # RT_DIALOG
            count += 1
            open('%s/%s-%s.dlg' % (sys.argv[-1], path.split('/')[-1][:-4], ident), 'wb').write(body)
        at = (at + header + size + 3) & ~3
if count == 0:
    sys.exit('no dialog resource found')
PY

# Registry call sequences: create, set, query, count, delete, in a few orders.
printf '\x00\x00\x00\x00\x00\x02\x00\x01\x00\x04\x01\x02\x03\x04\x03\x00\x01\x01' \
    > "$out/registry_fuzzer/create-set-query"
printf '\x00\x01\x02\x01\x00\x00\x00\x00\x00\x00\x00\x05\x02\x01\x05\x00\x06\x01\x07\x01' \
    > "$out/registry_fuzzer/nested-delete"
printf '\x01\x02\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x02\x05\x00\x00\x02\x00\x03\x00' \
    > "$out/registry_fuzzer/stale-handle"

# Item inputs: 8 bytes of settings choices (value forms, mode, height, which path), then a
# picture file's bytes.
i=0
for picture in "$out"/differential_fuzzer/seed1.jpg "$out"/differential_fuzzer/seed12.jpg \
               "$out"/bmp_decode_fuzzer/seed1.bmp "$out"/bmp_decode_fuzzer/seed14.bmp; do
    case $picture in *.jpg) path='\x00' ;; *) path='\x02' ;; esac
    for settings in "\x00\x00\x00$path" "\x00\x01\x04$path" "\x00\x02\x84$path" \
                    "\xAA\x01\x00$path" "\x00\x00\x00\x04" "\x00\x01\x06$path"; do
        i=$((i + 1))
        { printf "$settings\x00\x00\x00\x00"; cat "$picture"; } > "$out/item_fuzzer/seed$i"
    done
done

for target in "$out"/*/; do
    echo "$(basename "$target"): $(find "$target" -type f | wc -l) files"
done
