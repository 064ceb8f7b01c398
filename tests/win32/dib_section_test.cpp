// DIB sections as LoadJpeg creates them and GetObject reports them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "win32/host_services.h"
#include "win32/test_probes.h"

namespace {

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bpp) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bpp;
    header.biCompression = BI_RGB;
    return header;
}

HBITMAP Create(const BITMAPINFOHEADER& header, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader = header;
    HDC dc = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    ReleaseDC(nullptr, dc);
    return bitmap;
}

TEST(DibSectionTest, TwentyFourBitBottomUpAsLoadJpegMakesIt) {
    int bitmaps = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    void* bits = nullptr;
    HBITMAP bitmap = Create(Header(5, 3, 24), &bits);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps + 1);

    // Rows of 16 bytes; the first row in memory is the bottom picture row.
    auto* bytes = static_cast<unsigned char*>(bits);
    for (int i = 0; i < 16 * 3; ++i) ASSERT_EQ(bytes[i], 0) << i;
    bytes[0] = 0x11;  // blue of the bottom-left pixel
    bytes[1] = 0x22;
    bytes[2] = 0x33;
    bytes[32] = 0x44;  // blue of the top-left pixel
    int width = 0, height = 0;
    std::vector<uint32_t> pixels(15);
    ASSERT_TRUE(Win32LayerReadBitmap(bitmap, &width, &height, pixels.data()));
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(pixels[10], 0x332211u);  // read back top row first
    EXPECT_EQ(pixels[0], 0x000044u);

    DIBSECTION ds;
    std::memset(&ds, 0xBD, sizeof(ds));
    ASSERT_EQ(GetObjectW(bitmap, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmWidth, 5);
    EXPECT_EQ(ds.dsBm.bmHeight, 3);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 16);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBm.bmPlanes, 1);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biSize, 40u);
    EXPECT_EQ(ds.dsBmih.biWidth, 5);
    EXPECT_EQ(ds.dsBmih.biHeight, 3);
    EXPECT_EQ(ds.dsBmih.biBitCount, 24);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 48u);
    EXPECT_EQ(ds.dshSection, nullptr);

    BITMAP bm;
    std::memset(&bm, 0xBD, sizeof(bm));
    ASSERT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectW(bitmap, sizeof(BITMAP) - 1, &bm), 0);

    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), 0);
}

TEST(DibSectionTest, RowStridesForSmallWidths) {
    const int kStrides[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        void* bits = nullptr;
        HBITMAP bitmap = Create(Header(width, 2, 24), &bits);
        ASSERT_NE(bitmap, nullptr);
        BITMAP bm;
        ASSERT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
        EXPECT_EQ(bm.bmWidthBytes, kStrides[width - 1]) << width;
        // The whole of stride x height is writable (AddressSanitizer watches).
        std::memset(bits, 0xFF, static_cast<size_t>(kStrides[width - 1]) * 2);
        DeleteObject(bitmap);
    }
}

// The bitmap of a large photograph (32 MiB and more) is mapped by the layer on its own rather
// than taken from the heap: it must start zeroed and hold every byte of stride x height as a
// small one does.
TEST(DibSectionTest, LargeBitmapsAreZeroedAndWholeToTheirLastByte) {
    const int bitmaps = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    // 9,004-byte rows: 34,215,200 bytes, not a whole number of pages.
    const LONG width = 3001, height = 3800;
    const size_t stride = 9004, size = stride * height;
    void* bits = nullptr;
    HBITMAP bitmap = Create(Header(width, height, 24), &bits);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(bits, nullptr);
    auto* bytes = static_cast<unsigned char*>(bits);
    EXPECT_EQ(std::count(bytes, bytes + size, 0), static_cast<std::ptrdiff_t>(size));
    std::memset(bytes, 0x5A, size);
    bytes[0] = 0x11;                                    // blue of the bottom-left pixel
    bytes[size - stride + 3 * (width - 1) + 2] = 0x33;  // red of the top-right pixel
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    int read_width = 0, read_height = 0;
    ASSERT_TRUE(Win32LayerReadBitmap(bitmap, &read_width, &read_height, pixels.data()));
    EXPECT_EQ(pixels[static_cast<size_t>(width) - 1], 0x335A5Au);             // top row first
    EXPECT_EQ(pixels[static_cast<size_t>(width) * (height - 1)], 0x5A5A11u);  // bottom-left
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps);
}

TEST(DibSectionTest, TopDownKeepsTheFirstRowInMemoryOnTop) {
    void* bits = nullptr;
    HBITMAP bitmap = Create(Header(2, -2, 32), &bits);
    ASSERT_NE(bitmap, nullptr);
    auto* bytes = static_cast<unsigned char*>(bits);
    bytes[0] = 0xAA;  // blue of the top-left pixel
    uint32_t pixels[4];
    ASSERT_TRUE(Win32LayerReadBitmap(bitmap, nullptr, nullptr, pixels));
    EXPECT_EQ(pixels[0], 0xAAu);
    EXPECT_EQ(pixels[2], 0u);
    DIBSECTION ds;
    ASSERT_EQ(GetObjectW(bitmap, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBmih.biHeight, -2);
    DeleteObject(bitmap);
}

TEST(DibSectionTest, PaletteFormatsReadThroughTheirColourTable) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info = {Header(9, 1, 1), {{0, 0, 0, 0}, {0x10, 0x20, 0x30, 0}}};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    static_cast<unsigned char*>(bits)[0] = 0x80;  // leftmost pixel uses entry 1
    static_cast<unsigned char*>(bits)[1] = 0x80;  // ninth pixel too
    uint32_t pixels[9];
    ASSERT_TRUE(Win32LayerReadBitmap(bitmap, nullptr, nullptr, pixels));
    EXPECT_EQ(pixels[0], 0x302010u);
    EXPECT_EQ(pixels[1], 0u);
    EXPECT_EQ(pixels[8], 0x302010u);
    DeleteObject(bitmap);
}

TEST(DibSectionTest, SixteenBitIsFiveFiveFive) {
    void* bits = nullptr;
    HBITMAP bitmap = Create(Header(1, 1, 16), &bits);
    ASSERT_NE(bitmap, nullptr);
    static_cast<uint16_t*>(bits)[0] = 0x7C00;  // full red
    uint32_t pixel = 0;
    ASSERT_TRUE(Win32LayerReadBitmap(bitmap, nullptr, nullptr, &pixel));
    EXPECT_EQ(pixel, 0xFF0000u);
    DeleteObject(bitmap);
}

TEST(DibSectionTest, InvalidOrOversizedHeadersFailWithNull) {
    int bitmaps = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    struct Case {
        LONG width;
        LONG height;
        WORD bpp;
    };
    const Case kCases[] = {
        {0, 10, 24},          // no width
        {10, 0, 24},          // no height
        {-4, 10, 24},         // negative width
        {10, 10, 7},          // no such depth
        {65535, 65535, 24},   // 196608 x 65535 bytes: more than 2^31 - 1
        {65535, -65535, 32},  // the same, top-down
        {0x7FFFFFFF, 1, 32},  // a row alone beyond 2^31
        {16384, 32768, 32},   // exactly 2^31 bytes
        {1, INT32_MIN, 24},   // a height with no positive counterpart
    };
    for (const Case& c : kCases) {
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(Create(Header(c.width, c.height, c.bpp), &bits), nullptr)
            << c.width << " x " << c.height << " x " << c.bpp;
        EXPECT_EQ(bits, nullptr);
    }
    BITMAPINFOHEADER bad_planes = Header(4, 4, 24);
    bad_planes.biPlanes = 2;
    void* bits = nullptr;
    EXPECT_EQ(Create(bad_planes, &bits), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps);
}

TEST(DibSectionTest, ScreenDcComesAndGoes) {
    int dcs = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC);
    HDC dc = GetDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC), dcs + 1);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 0);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC), dcs);
}

}  // namespace
