// Memory DCs, compatible bitmaps, selection, fills and block copies: clipping to both
// bitmaps, the stretch mapping and conversion between formats.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "win32/host_services.h"
#include "win32/test_probes.h"

namespace {

constexpr uint32_t kSentinel = 0xBDBDBD;

// A top-down 32-bit DIB section whose pixels the test reads and writes directly.
struct Section {
    HBITMAP bitmap = nullptr;
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;

    Section(int w, int h, uint32_t fill) : width(w), height(h) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        for (int i = 0; i < w * h; ++i) pixels[i] = fill;
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
    }
    ~Section() {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint32_t At(int x, int y) const { return pixels[y * width + x] & 0xFFFFFF; }
};

// Source pixels that tell their own coordinates.
uint32_t Tag(int x, int y) {
    return 0x100000u | static_cast<uint32_t>(x << 8 | y);
}

void FillTags(Section& s) {
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) s.pixels[y * s.width + x] = Tag(x, y);
    }
}

class GdiDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int kind = 0; kind < 8; ++kind) counts_[kind] = Win32LayerLiveHandleCount(kind);
    }
    void TearDown() override {
        for (int kind = 0; kind < 8; ++kind) {
            EXPECT_EQ(Win32LayerLiveHandleCount(kind), counts_[kind]) << "handle kind " << kind;
        }
    }
    int counts_[8] = {};
};

TEST_F(GdiDrawingTest, FreshMemoryDcHoldsTheStockMonochromeBitmap) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    Section section(2, 2, 0);
    HGDIOBJ stock = SelectObject(dc, section.bitmap);
    // The section is already in another DC, so it is refused.
    EXPECT_EQ(stock, nullptr);
    HBITMAP own = CreateCompatibleBitmap(dc, 4, 4);  // a monochrome DC makes monochrome
    ASSERT_NE(own, nullptr);
    BITMAP bm;
    ASSERT_EQ(GetObjectW(own, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    stock = SelectObject(dc, own);
    ASSERT_NE(stock, nullptr);
    ASSERT_EQ(GetObjectW(stock, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmBits, nullptr);
    EXPECT_TRUE(DeleteObject(stock));  // stock objects survive deletion
    EXPECT_EQ(SelectObject(dc, stock), own);
    EXPECT_TRUE(DeleteObject(own));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
}

TEST_F(GdiDrawingTest, CompatibleBitmapOfTheScreenIsThirtyTwoBitAndExact) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 2);
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm;
    ASSERT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 12);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(dc, 3, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 2, 2), nullptr);  // no DC
}

TEST_F(GdiDrawingTest, FillRectWithStockWhiteBrushStaysInsideTheBitmap) {
    Section s(6, 4, kSentinel);
    RECT r = {-5, 1, 3, 100};
    EXPECT_NE(FillRect(s.dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool inside = x < 3 && y >= 1;
            EXPECT_EQ(s.At(x, y), inside ? 0xFFFFFFu : kSentinel) << x << "," << y;
        }
    }
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT one = {5, 0, 6, 1};
    FillRect(s.dc, &one, red);
    EXPECT_EQ(s.At(5, 0), 0xFF0000u);
    LOGBRUSH lb;
    ASSERT_EQ(GetObjectW(red, sizeof(lb), &lb), static_cast<int>(sizeof(lb)));
    EXPECT_EQ(lb.lbColor, RGB(255, 0, 0));
    DeleteObject(red);
}

// Bottom-up sections of whole-byte and packed pixels: every row of the rectangle is filled,
// and no pixel beside it, even one sharing a byte with it.
TEST_F(GdiDrawingTest, FillRectFillsEveryRowOfBottomUpAndPackedBitmaps) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info = {};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = 13;
        info.header.biHeight = 5;
        info.header.biPlanes = 1;
        info.header.biBitCount = static_cast<WORD>(bpp);
        info.header.biClrUsed = bpp <= 8 ? 2 : 0;
        info.colors[1] = RGBQUAD{255, 255, 255, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                          DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT black = {0, 0, 13, 5};
        FillRect(dc, &black, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        RECT r = {3, 1, 10, 4};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 13; ++x) {
                bool inside = x >= 3 && x < 10 && y >= 1 && y < 4;
                EXPECT_EQ(GetPixel(dc, x, y), inside ? RGB(255, 255, 255) : RGB(0, 0, 0))
                    << x << "," << y;
            }
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
}

TEST_F(GdiDrawingTest, BitBltClipsToBothBitmaps) {
    Section source(4, 3, 0);
    FillTags(source);
    struct Case {
        int x, y, w, h, sx, sy;
    };
    const Case kCases[] = {
        {0, 0, 4, 3, 0, 0},      // exact
        {-2, -1, 4, 3, 0, 0},    // off the destination's top-left
        {5, 4, 10, 10, 0, 0},    // off the destination's bottom-right
        {1, 1, 10, 10, -2, -1},  // reading before the source
        {0, 0, 8, 6, 3, 2},      // reading past the source
        {-100, -100, 1000, 1000, -100, -100},
        {2, 2, 0x7FFFFFFF, 0x7FFFFFFF, 1, 1},  // extents that overflow 32 bits
        {0x7FFFFFF0, 0, 100, 3, 0, 0},
    };
    for (const Case& c : kCases) {
        Section dest(7, 6, kSentinel);
        ASSERT_TRUE(BitBlt(dest.dc, c.x, c.y, c.w, c.h, source.dc, c.sx, c.sy, SRCCOPY));
        for (int y = 0; y < dest.height; ++y) {
            for (int x = 0; x < dest.width; ++x) {
                int64_t dx = int64_t{x} - c.x, dy = int64_t{y} - c.y;
                int64_t sx = c.sx + dx, sy = c.sy + dy;
                bool copied = dx >= 0 && dx < c.w && dy >= 0 && dy < c.h && sx >= 0 &&
                              sx < source.width && sy >= 0 && sy < source.height;
                uint32_t expected =
                    copied ? Tag(static_cast<int>(sx), static_cast<int>(sy)) : kSentinel;
                ASSERT_EQ(dest.At(x, y), expected)
                    << "case " << c.x << "," << c.y << " pixel " << x << "," << y;
            }
        }
    }
}

TEST_F(GdiDrawingTest, StretchMapsNearestNeighbourAndMirrors) {
    Section source(3, 2, 0);
    FillTags(source);
    Section dest(7, 4, kSentinel);
    // 3 x 2 onto 7 x 4: dx maps to (dx * 3) / 7, dy to (dy * 2) / 4.
    ASSERT_TRUE(StretchBlt(dest.dc, 0, 0, 7, 4, source.dc, 0, 0, 3, 2, SRCCOPY));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 7; ++x) ASSERT_EQ(dest.At(x, y), Tag(x * 3 / 7, y * 2 / 4));
    }
    // Shrinking 7 x 4 back onto 3 x 2 picks (dx * 7) / 3.
    Section small(3, 2, kSentinel);
    ASSERT_TRUE(StretchBlt(small.dc, 0, 0, 3, 2, dest.dc, 0, 0, 7, 4, SRCCOPY));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(small.At(x, 1), dest.At(x * 7 / 3, 2));

    // A negative destination width covers x + width .. x - 1 and mirrors.
    Section mirrored(3, 2, kSentinel);
    ASSERT_TRUE(StretchBlt(mirrored.dc, 3, 0, -3, 2, source.dc, 0, 0, 3, 2, SRCCOPY));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(mirrored.At(x, 0), Tag(2 - x, 0));
    // Both extents negative: no mirroring.
    Section both(3, 2, kSentinel);
    ASSERT_TRUE(StretchBlt(both.dc, 3, 2, -3, -2, source.dc, 3, 2, -3, -2, SRCCOPY));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(both.At(x, 1), Tag(x, 1));

    // A stretch that reads beyond the source leaves those destination pixels alone.
    Section partly(4, 1, kSentinel);
    ASSERT_TRUE(StretchBlt(partly.dc, 0, 0, 4, 1, source.dc, 1, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(partly.At(0, 0), Tag(1, 0));
    EXPECT_EQ(partly.At(1, 0), Tag(2, 0));
    EXPECT_EQ(partly.At(2, 0), kSentinel);

    // Only source copies exist.
    EXPECT_FALSE(StretchBlt(dest.dc, 0, 0, 1, 1, source.dc, 0, 0, 1, 1, 0x00EE0086));
    EXPECT_FALSE(BitBlt(dest.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
}

TEST_F(GdiDrawingTest, CopiesConvertBetweenTwentyFourAndThirtyTwoBits) {
    // A bottom-up 24-bit section, as LoadJpeg makes, into a 32-bit compatible bitmap.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(picture, nullptr);
    auto* bytes = static_cast<uint8_t*>(bits);
    for (int i = 0; i < 24; ++i) bytes[i] = static_cast<uint8_t>(i * 10 + 1);
    HDC screen = GetDC(nullptr);
    HDC picture_dc = CreateCompatibleDC(screen);
    HGDIOBJ old_picture = SelectObject(picture_dc, picture);
    HBITMAP cache = CreateCompatibleBitmap(screen, 3, 2);
    HDC cache_dc = CreateCompatibleDC(screen);
    HGDIOBJ old_cache = SelectObject(cache_dc, cache);
    ASSERT_TRUE(BitBlt(cache_dc, 0, 0, 3, 2, picture_dc, 0, 0, SRCCOPY));
    uint32_t pixels[7];
    pixels[6] = kSentinel;
    ASSERT_TRUE(Win32LayerReadBitmap(cache, nullptr, nullptr, pixels));
    EXPECT_EQ(pixels[6], kSentinel);
    // Cache row 0 is the picture's top row, the section's second row in memory (offset 12).
    auto bgr = [&](int offset) {
        return uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 1]} << 8 | bytes[offset];
    };
    EXPECT_EQ(pixels[0], bgr(12));
    EXPECT_EQ(pixels[2], bgr(18));
    EXPECT_EQ(pixels[3], bgr(0));
    EXPECT_EQ(GetPixel(cache_dc, 1, 1), GetPixel(picture_dc, 1, 1));

    // And back: the 32-bit bitmap into the 24-bit section, the row padding untouched.
    std::memset(bits, 0, 24);
    ASSERT_TRUE(BitBlt(picture_dc, 0, 0, 3, 2, cache_dc, 0, 0, SRCCOPY));
    EXPECT_EQ(bgr(12), pixels[0]);
    EXPECT_EQ(bgr(0), pixels[3]);
    EXPECT_EQ(bytes[9], 0);
    EXPECT_EQ(bytes[11], 0);

    SelectObject(picture_dc, old_picture);
    SelectObject(cache_dc, old_cache);
    DeleteDC(picture_dc);
    DeleteDC(cache_dc);
    DeleteObject(picture);
    DeleteObject(cache);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiDrawingTest, ObjectDeletedWhileSelectedGoesWhenDeselected) {
    HDC dc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2, 2);
    ReleaseDC(nullptr, screen);
    HGDIOBJ stock = SelectObject(dc, bitmap);
    int bitmaps = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps);
    EXPECT_EQ(SetPixel(dc, 0, 0, RGB(9, 9, 9)), RGB(9, 9, 9));  // still drawable
    SelectObject(dc, stock);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps - 1);
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    DeleteDC(dc);
}

TEST_F(GdiDrawingTest, CopyWithinOneBitmapHandlesOverlap) {
    Section s(5, 1, 0);
    FillTags(s);
    ASSERT_TRUE(BitBlt(s.dc, 1, 0, 4, 1, s.dc, 0, 0, SRCCOPY));
    for (int x = 1; x < 5; ++x) EXPECT_EQ(s.At(x, 0), Tag(x - 1, 0));
}

}  // namespace
