#!/usr/bin/env bash
# Measures the worst cases of LoadJpeg: time per byte of file plus pixel of picture, heap per
# byte of file, and heap beyond the bitmap and the file image. Runs varnel-worst-case (a dev
# build's tools/) over the fuzz corpora and over files with extreme headers made here: small
# files that claim pictures up to the 2 GiB bitmap limit and beyond, a restart interval of one
# MCU with no restart markers in the data, thousands of table segments, a megabyte of fill bytes.
#
# Usage: scripts/worst-case-inputs.sh [BUILD_DIR] [CORPUS_DIR...]
#        defaults: build/dev, and build/fuzz-work/corpus/{differential,load_jpeg}_fuzzer
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
shift $(($# > 0 ? 1 : 0))
corpora=("$@")
if [ ${#corpora[@]} -eq 0 ]; then
    for target in differential_fuzzer load_jpeg_fuzzer; do
        [ -d "build/fuzz-work/corpus/$target" ] && corpora+=("build/fuzz-work/corpus/$target")
    done
fi
tool="$build/tools/varnel-worst-case"
[ -x "$tool" ] || { echo "missing $tool: build the target varnel-worst-case" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import struct, sys
out = sys.argv[1]

def segment(marker, body):
    return b'\xFF' + bytes([marker]) + struct.pack('>H', len(body) + 2) + body

def jpeg(width, height, restart=0, data=b'\x00' * 64, extra=b'', factors=0x22):
    # One quantisation table of ones; DC and AC tables with a single one-bit code for symbol 0
    # (a zero DC difference, an end of block), so all-zero data decodes every block.
    dqt = segment(0xDB, b'\x00' + b'\x01' * 64)
    sof = segment(0xC0, b'\x08' + struct.pack('>HH', height, width) + b'\x03' +
                  b'\x01' + bytes([factors]) + b'\x00\x02\x11\x00\x03\x11\x00')
    one_code = b'\x01' + b'\x00' * 15 + b'\x00'
    dht = segment(0xC4, b'\x00' + one_code + b'\x10' + one_code)
    dri = segment(0xDD, struct.pack('>H', restart)) if restart else b''
    sos = segment(0xDA, b'\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00')
    return b'\xFF\xD8' + dqt + sof + dht + extra + dri + sos + data + b'\xFF\xD9'

def write(name, data):
    open('%s/%s' % (out, name), 'wb').write(data)

for side in (1000, 8000, 16000, 26000, 40000, 65535):
    write('claim-%dx%d.jpg' % (side, side), jpeg(side, side))
write('claim-65535x1.jpg', jpeg(65535, 1))
write('claim-1x65535.jpg', jpeg(1, 65535))
# A picture one pixel wide in MCUs of 15 x 15 blocks: 227 blocks decoded for every 8 pixels.
write('thin-picture-largest-mcu.jpg', jpeg(1, 65535, factors=0xFF))
write('restart-every-mcu-without-markers.jpg', jpeg(2048, 2048, restart=1, data=b'\x00' * 200000))
write('many-table-segments.jpg',
      jpeg(64, 64, extra=segment(0xC4, b'\x00' + b'\x01' + b'\x00' * 15 + b'\x00') * 20000))
write('megabyte-of-fill-bytes.jpg', jpeg(64, 64, extra=b'\xFF' * 1000000))
write('comment-segments.jpg', jpeg(64, 64, extra=segment(0xFE, b'x' * 65000) * 16))
PY
echo "== files with extreme headers"
"$tool" --top 6 "$work"
if [ ${#corpora[@]} -gt 0 ]; then
    echo "== fuzz corpora: ${corpora[*]}"
    "$tool" --top 5 "${corpora[@]}"
fi
