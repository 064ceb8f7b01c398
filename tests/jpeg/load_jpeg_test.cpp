// LoadJpeg end to end: file to DIB section, with the row layout, header and ownership that
// callers rely on, and null with the size untouched for everything it cannot decode.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "encoded_files.h"
#include "jpeg_decoder.h"
#include "varnel.h"
#include "win32/test_probes.h"

namespace {

std::u16string Wide(const std::filesystem::path& path) {
    const std::string narrow = path.string();
    return std::u16string(narrow.begin(), narrow.end());  // the test paths are ASCII
}

HBITMAP Load(const std::filesystem::path& path, POINT* size) {
    return LoadJpeg(nullptr, reinterpret_cast<const WCHAR*>(Wide(path).c_str()), size);
}

// The planes that the decoder core gives for the same file, for comparison with the bitmap.
struct Planes {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> r, g, b;
};

Planes DecodePlanes(const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = testfiles::ReadBytes(path);
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    Planes planes;
    if (varnel::Attach(&decoder, bytes.data(), static_cast<int32_t>(bytes.size())) == 0 &&
        varnel::Decode(&decoder) == 0) {
        planes.width = decoder.width;
        planes.height = decoder.height;
        const size_t count = static_cast<size_t>(decoder.width) * decoder.height;
        planes.r.assign(decoder.planes[0], decoder.planes[0] + count);
        planes.g.assign(decoder.planes[1], decoder.planes[1] + count);
        planes.b.assign(decoder.planes[2], decoder.planes[2] + count);
    }
    varnel::DestroyDecoder(&decoder);
    return planes;
}

std::filesystem::path MakeJpeg(int width, int height, const char* options) {
    return testfiles::EncodeWithCjpeg(
        testfiles::MakePicture(width, height, static_cast<uint32_t>(width * 31 + height)),
        options, "load-" + std::to_string(width) + "x" + std::to_string(height));
}

TEST(LoadJpeg, BitmapHoldsBottomUpBgrRowsPaddedWithZeros) {
    // Widths 1 to 5 give rows of 4, 8, 12, 12 and 16 bytes.
    const int expected_stride[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        const auto path = MakeJpeg(width, 3, "-sample 1x1");
        ASSERT_FALSE(path.empty());
        POINT size{-7, -7};
        HBITMAP bitmap = Load(path, &size);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(size.x, width);
        EXPECT_EQ(size.y, 3);

        DIBSECTION section{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section),
                  static_cast<int>(sizeof(section)));
        const BITMAPINFOHEADER& header = section.dsBmih;
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, 3);  // positive: bottom-up
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(section.dsBm.bmWidthBytes, expected_stride[width - 1]);

        const Planes planes = DecodePlanes(path);
        ASSERT_EQ(planes.width, width);
        const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
        const int stride = expected_stride[width - 1];
        for (int k = 0; k < 3; ++k) {  // bitmap row k is picture row 2 - k
            const uint8_t* row = bits + k * stride;
            const int y = 2 - k;
            for (int x = 0; x < width; ++x) {
                const size_t at = static_cast<size_t>(y * width + x);
                EXPECT_EQ(row[3 * x + 0], planes.b[at]);
                EXPECT_EQ(row[3 * x + 1], planes.g[at]);
                EXPECT_EQ(row[3 * x + 2], planes.r[at]);
            }
            for (int pad = 3 * width; pad < stride; ++pad) EXPECT_EQ(row[pad], 0) << pad;
        }
        DeleteObject(bitmap);
    }
}

TEST(LoadJpeg, PictureOf100By75) {
    const auto path = MakeJpeg(100, 75, "-sample 2x2");
    POINT size{0, 0};
    HBITMAP bitmap = Load(path, &size);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(size.x, 100);
    EXPECT_EQ(size.y, 75);
    DIBSECTION section{};
    GetObjectW(bitmap, sizeof(section), &section);
    EXPECT_EQ(section.dsBm.bmWidthBytes, 300);
    const Planes planes = DecodePlanes(path);
    // The first three bytes are the bottom-left pixel; the last row is the top row.
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    const size_t bottom_left = 74 * 100;
    EXPECT_EQ(bits[0], planes.b[bottom_left]);
    EXPECT_EQ(bits[1], planes.g[bottom_left]);
    EXPECT_EQ(bits[2], planes.r[bottom_left]);
    const uint8_t* top_row = bits + 74 * 300;
    EXPECT_EQ(top_row[0], planes.b[0]);
    EXPECT_EQ(top_row[299], planes.r[99]);
    DeleteObject(bitmap);
}

TEST(LoadJpeg, NullSizePointerStillGivesTheBitmap) {
    const auto path = MakeJpeg(16, 16, "-grayscale");
    HBITMAP bitmap = Load(path, nullptr);
    ASSERT_NE(bitmap, nullptr);
    DeleteObject(bitmap);
}

TEST(LoadJpeg, FailuresGiveNullAndLeaveTheSizeAlone) {
    const auto dir = testfiles::TempDir();
    testfiles::WriteBytes(dir / "empty.jpg", {});
    // A Windows bitmap file named .jpg.
    testfiles::WriteBytes(dir / "bitmap.jpg", {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                               40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24});
    for (const char* name : {"missing.jpg", "empty.jpg", "bitmap.jpg"}) {
        SCOPED_TRACE(name);
        POINT size{123, 456};
        EXPECT_EQ(Load(dir / name, &size), nullptr);
        EXPECT_EQ(size.x, 123);
        EXPECT_EQ(size.y, 456);
    }
}

TEST(LoadJpeg, ReleasesEverythingButTheBitmap) {
    const auto path = MakeJpeg(24, 16, "-sample 2x2");
    const int files = Win32LayerLiveHandleCount(WIN32LAYER_KIND_FILE);
    const int bitmaps = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    const int window_dcs = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC);
    const int blocks = Win32LayerLiveLocalBlockCount();
    HBITMAP bitmap = Load(path, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_FILE), files);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC), window_dcs);
    EXPECT_EQ(Win32LayerLiveLocalBlockCount(), blocks);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps + 1);
    DeleteObject(bitmap);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps);
}

}  // namespace
