// libFuzzer target: LoadJpeg on a file holding the input. Whatever the bytes, it returns either
// null with the size untouched or a 24-bit DIB section of the size the header gives, the same
// bitmap as LoadJpeg with the reference kernels gives; and both give back every file, device
// context and local block they obtained (the bitmaps are the caller's, and are deleted here).
// The words that the tools give for a refusal exist for every file that parses and is refused.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jpeg_size.h"
#include "live_count_check.h"
#include "load_jpeg_kernels.h"
#include "refusal.h"
#include "scratch_files.h"
#include "varnel.h"

namespace {

// Pictures up to this many pixels are decoded through the file; larger claims only slow the
// search (the time is linear in the picture size; scripts/worst-case-inputs.sh measures it).
constexpr int64_t kMaxPixels = int64_t{1} << 16;
// The reference kernels, one bit at a time, are compared up to this many pixels (the differential
// target compares them in memory on pictures of the same size).
constexpr int64_t kMaxComparedPixels = int64_t{1} << 12;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "LoadJpeg: %s\n", what);
    std::abort();
}

// Null and null, or two bitmaps of the same size and bits.
bool SameBitmap(HBITMAP a, HBITMAP b) {
    if (a == nullptr || b == nullptr) return a == b;
    BITMAP first{};
    BITMAP second{};
    if (GetObjectW(a, sizeof(first), &first) != sizeof(first) ||
        GetObjectW(b, sizeof(second), &second) != sizeof(second)) {
        return false;
    }
    const size_t bytes =
        static_cast<size_t>(first.bmWidthBytes) * static_cast<size_t>(first.bmHeight);
    return first.bmWidth == second.bmWidth && first.bmHeight == second.bmHeight &&
           first.bmWidthBytes == second.bmWidthBytes && first.bmBitsPixel == second.bmBitsPixel &&
           std::memcmp(first.bmBits, second.bmBits, bytes) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const fuzzing::JpegSize measured = fuzzing::MeasureJpeg(data, size);
    if (fuzzing::TooLargeToFuzz(measured, kMaxPixels)) return 0;

    const std::u16string path = fuzzing::WriteScratchFile("input.jpg", data, size);
    const fuzzing::LiveCounts before = fuzzing::TakeLiveCounts();
    const auto* wide_path = reinterpret_cast<const WCHAR*>(path.c_str());
    POINT picture_size{-7, -7};
    HBITMAP bitmap = LoadJpeg(nullptr, wide_path, &picture_size);
    if (!fuzzing::TooLargeToFuzz(measured, kMaxComparedPixels)) {
        POINT reference_size{-7, -7};
        HBITMAP reference = varnel::LoadJpegWithKernels(nullptr, wide_path, &reference_size,
                                                        varnel::Kernels::Reference);
        if (!SameBitmap(bitmap, reference) || reference_size.x != picture_size.x ||
            reference_size.y != picture_size.y) {
            Fail("the reference kernels give another bitmap, or none, or another size");
        }
        if (reference != nullptr) DeleteObject(reference);
    }
    if (bitmap == nullptr) {
        if (picture_size.x != -7 || picture_size.y != -7) Fail("size written on failure");
        // Within the size caps a file that parses can only fail at the decode gate. (That the
        // gate and the reason agree on every file is the differential target's check.)
        if (measured.attached &&
            varnel::DescribeRefusalOfImage(data, static_cast<int32_t>(size)).empty()) {
            Fail("refused without a reason in words");
        }
    } else {
        BITMAP info{};
        if (GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) Fail("not a bitmap");
        if (info.bmBitsPixel != 24 || info.bmWidth != picture_size.x ||
            info.bmHeight != picture_size.y || info.bmWidth < 1 || info.bmHeight < 1) {
            Fail("bitmap header disagrees with the size");
        }
        DeleteObject(bitmap);
    }
    fuzzing::RequireSameLiveCounts(before, "LoadJpeg");
    return 0;
}
