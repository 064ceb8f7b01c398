// libFuzzer target: LoadJpeg on a file holding the input. Whatever the bytes, it returns either
// null with the size untouched or a 24-bit DIB section of the size the header gives, whose rows
// are those of the reference decode in memory; and it gives back every file, device context and
// local block it obtained (the bitmap is the caller's, and is deleted here).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "differential_decode.h"
#include "jpeg_size.h"
#include "live_count_check.h"
#include "scratch_files.h"
#include "varnel.h"

namespace {

// Pictures up to this many pixels are decoded through the file; larger claims only slow the
// search (the time is linear in the picture size; scripts/worst-case-inputs.sh measures it).
constexpr int64_t kMaxPixels = int64_t{1} << 16;
// The reference decode, one bit at a time, is compared up to this many pixels (the differential
// target compares the kernels on pictures of the same size).
constexpr int64_t kMaxComparedPixels = int64_t{1} << 12;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "LoadJpeg: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const fuzzing::JpegSize measured = fuzzing::MeasureJpeg(data, size);
    if (fuzzing::TooLargeToFuzz(measured, kMaxPixels)) return 0;

    const std::u16string path = fuzzing::WriteScratchFile("input.jpg", data, size);
    const fuzzing::LiveCounts before = fuzzing::TakeLiveCounts();
    POINT picture_size{-7, -7};
    HBITMAP bitmap = LoadJpeg(nullptr, reinterpret_cast<const WCHAR*>(path.c_str()), &picture_size);
    const bool compare = !fuzzing::TooLargeToFuzz(measured, kMaxComparedPixels);
    const differential::Outcome reference =
        compare ? differential::DecodeReference(data, size) : differential::Outcome{};
    if (bitmap == nullptr) {
        if (picture_size.x != -7 || picture_size.y != -7) Fail("size written on failure");
        if (compare && reference.decoded) Fail("null, but the reference decode succeeds");
    } else {
        BITMAP info{};
        if (GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) Fail("not a bitmap");
        if (info.bmBitsPixel != 24 || info.bmWidth != picture_size.x ||
            info.bmHeight != picture_size.y || info.bmWidth < 1 || info.bmHeight < 1) {
            Fail("bitmap header disagrees with the size");
        }
        if (compare) {
            if (!reference.decoded) Fail("a bitmap, but the reference decode fails");
            if (reference.width != info.bmWidth || reference.height != info.bmHeight ||
                static_cast<size_t>(info.bmWidthBytes) * static_cast<size_t>(info.bmHeight) !=
                    reference.rows.size() ||
                std::memcmp(info.bmBits, reference.rows.data(), reference.rows.size()) != 0) {
                Fail("bitmap rows differ from the reference decode");
            }
        }
        DeleteObject(bitmap);
    }
    fuzzing::RequireSameLiveCounts(before, "LoadJpeg");
    return 0;
}
