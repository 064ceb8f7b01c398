// libFuzzer target: the bitmap file decoder on bytes, and SHLoadDIBitmap on a file holding them.
// The decoder must read nothing outside the buffer, write nothing outside rows sized from its
// own header check, write every byte of every row (two fills give the same output), agree
// between 3 and 4 bytes per pixel, and fail exactly when the header check fails. The loader
// returns a bitmap of the header's size or null, and keeps no handle or block.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bmp_decode.h"
#include "live_count_check.h"
#include "pocketpc.h"
#include "scratch_files.h"

namespace {

// Larger pictures only slow the search; the size check itself is exercised on every input.
constexpr int64_t kMaxPixels = int64_t{1} << 16;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bitmap file decoder: %s\n", what);
    std::abort();
}

// Rows exactly as wide as the pixels (no padding), so that a write past a row's end lands in
// the next row or, for the last row, past the allocation.
std::vector<uint8_t> DecodeFilled(const uint8_t* data, size_t size, const BmpInfo& info,
                                  int bytes_per_pixel, uint8_t fill, BmpResult* result) {
    const size_t stride = static_cast<size_t>(info.width) * static_cast<size_t>(bytes_per_pixel);
    std::vector<uint8_t> out(stride * static_cast<size_t>(info.height), fill);
    *result = BmpDecode(data, size, out.data(), bytes_per_pixel, stride);
    return out;
}

void CheckDecoder(const uint8_t* data, size_t size, BmpResult header_result, const BmpInfo& info) {
    if (header_result != BmpResult::Ok) {
        // Nothing may be written when the headers are refused.
        uint8_t sentinel = 0xBD;
        if (BmpDecode(data, size, &sentinel, 3, 3) != header_result) {
            Fail("decode and header check disagree on a refused file");
        }
        if (sentinel != 0xBD) Fail("wrote into the output of a refused file");
        return;
    }
    if (info.width < 1 || info.height < 1 ||
        int64_t{info.width} * info.height * 4 > int64_t{0x7fffffff}) {
        Fail("header check accepted a size outside its promise");
    }
    if (int64_t{info.width} * info.height > kMaxPixels) return;
    BmpResult first = BmpResult::Ok;
    BmpResult second = BmpResult::Ok;
    BmpResult wide = BmpResult::Ok;
    const std::vector<uint8_t> zeros = DecodeFilled(data, size, info, 3, 0x00, &first);
    const std::vector<uint8_t> ones = DecodeFilled(data, size, info, 3, 0xFF, &second);
    const std::vector<uint8_t> four = DecodeFilled(data, size, info, 4, 0x5A, &wide);
    if (!BmpResultHasPicture(first) || first != second || first != wide) {
        Fail("an accepted header gave no picture, or results differ");
    }
    if (zeros != ones) Fail("some output bytes were left unwritten");
    const size_t count = static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    for (size_t i = 0; i < count; ++i) {
        if (std::memcmp(&zeros[i * 3], &four[i * 4], 3) != 0) Fail("3 and 4 bytes disagree");
        if (!info.has_alpha && four[i * 4 + 3] != 0) Fail("alpha byte without an alpha mask");
    }
}

void CheckLoader(const uint8_t* data, size_t size, BmpResult header_result, const BmpInfo& info) {
    if (header_result == BmpResult::Ok && int64_t{info.width} * info.height > kMaxPixels) return;
    const std::u16string path = fuzzing::WriteScratchFile("input.bmp", data, size);
    const fuzzing::LiveCounts before = fuzzing::TakeLiveCounts();
    HBITMAP bitmap = SHLoadDIBitmap(reinterpret_cast<LPCWSTR>(path.c_str()));
    if (bitmap != nullptr) {
        BITMAP shown{};
        if (header_result != BmpResult::Ok) Fail("the loader took a refused file");
        if (GetObjectW(bitmap, sizeof(shown), &shown) != sizeof(shown) ||
            shown.bmWidth != info.width || shown.bmHeight != info.height) {
            Fail("the loader's bitmap has another size than the header");
        }
        DeleteObject(bitmap);
    } else if (header_result == BmpResult::Ok) {
        Fail("the loader refused a file that decodes");
    }
    fuzzing::RequireSameLiveCounts(before, "SHLoadDIBitmap");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    BmpInfo info;
    const BmpResult header_result = BmpReadInfo(data, size, &info);
    CheckDecoder(data, size, header_result, info);
    CheckLoader(data, size, header_result, info);
    return 0;
}
