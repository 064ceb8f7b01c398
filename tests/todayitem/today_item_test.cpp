// The item through its real export: the record it fills, the window it makes, and the picture
// it shows for each placement, file kind and damage, compared with what the test computes from
// the same pixels; handles all given back after a create, paint and destroy.
#include <gtest/gtest.h>

#include <fstream>

#include "item_harness.h"
#include "test_pictures.h"
#include "varnel.h"
#include "win32/test_probes.h"

namespace {

constexpr int kStretch = 0;
constexpr int kCenter = 1;
constexpr int kTile = 2;

class TodayItemTest : public ItemTest {
protected:
    // Writes the picture as a bitmap file, stores the settings and shows the item.
    std::vector<uint32_t> ShowBitmap(const TestPicture& picture, int mode, int height,
                                     bool top_down = false) {
        std::filesystem::path file = folder_ / "picture.bmp";
        WriteBitmapFile(file, picture, top_down);
        StoreSettings(mode, height, Wide(file));
        int w = 0;
        int h = 0;
        std::vector<uint32_t> pixels = ShowItem(&w, &h);
        EXPECT_EQ(w, 240);
        EXPECT_EQ(h, height);
        return pixels;
    }

    std::vector<uint32_t> ShowFile(const std::filesystem::path& file, int mode, int height) {
        StoreSettings(mode, height, Wide(file));
        int w = 0;
        int h = 0;
        return ShowItem(&w, &h);
    }

    void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
        std::ofstream out(file, std::ios::binary);
        out << bytes;
    }
};

std::vector<uint32_t> AllWhite(int w, int h) {
    return std::vector<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), kWhite);
}

// The sample photo as LoadJpeg decodes it.
TestPicture DecodeSample(const std::filesystem::path& file) {
    std::u16string path;
    for (char c : file.string()) path.push_back(static_cast<char16_t>(c));
    POINT size = {0, 0};
    HBITMAP bitmap = LoadJpeg(nullptr, path.c_str(), &size);
    TestPicture picture{0, 0, {}};
    if (bitmap == nullptr) return picture;
    Win32LayerReadBitmap(bitmap, &picture.width, &picture.height, nullptr);
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    Win32LayerReadBitmap(bitmap, &picture.width, &picture.height, picture.pixels.data());
    DeleteObject(bitmap);
    return picture;
}

TEST_F(TodayItemTest, DisabledItemReturnsNullAndLeavesTheRecordAlone) {
    TODAYLISTITEM record = EnabledRecord();
    record.fEnabled = FALSE;
    record.cyp = 1234;
    record.szDLLPath[0] = u'x';
    record.hinstDLL = reinterpret_cast<HINSTANCE>(0x10);
    record.hwndCustom = reinterpret_cast<HWND>(0x20);
    int windows_before = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW);
    EXPECT_EQ(Initialize(&record), nullptr);
    EXPECT_EQ(record.cyp, 1234u);
    EXPECT_EQ(record.szDLLPath[0], u'x');
    EXPECT_EQ(record.szDLLPath[1], 0);
    EXPECT_EQ(record.hinstDLL, reinterpret_cast<HINSTANCE>(0x10));
    EXPECT_EQ(record.hwndCustom, reinterpret_cast<HWND>(0x20));
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW), windows_before);
}

TEST_F(TodayItemTest, FirstRunShowsAWhiteScreenWideItemOfTwentyFourPixels) {
    TODAYLISTITEM record = EnabledRecord();
    HWND window = Initialize(&record);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(record.hwndCustom, window);
    EXPECT_EQ(record.cyp, 24u);
    EXPECT_EQ(record.hinstDLL, module_);
    WCHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module_, path, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(record.szDLLPath), std::u16string(path));
    EXPECT_EQ(GetParent(window), host_);
    int w = 0;
    int h = 0;
    std::vector<uint32_t> pixels = PaintAndRead(window, &w, &h);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 24);
    EXPECT_EQ(pixels, AllWhite(240, 24));
}

TEST_F(TodayItemTest, SecondInitialisationInTheProcessWorks) {
    StoreSettings(kStretch, 30, u"");
    TODAYLISTITEM first = EnabledRecord();
    HWND window = Initialize(&first);
    ASSERT_NE(window, nullptr);
    DestroyWindow(window);
    StoreSettings(kStretch, 50, u"");
    TODAYLISTITEM second = EnabledRecord();
    HWND again = Initialize(&second);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(second.cyp, 50u);
    RECT client = {};
    GetClientRect(again, &client);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 50);
}

TEST_F(TodayItemTest, ItemIsAsWideAsTheScreen) {
    Win32LayerSetScreenSize(320, 240);
    TODAYLISTITEM record = EnabledRecord();
    HWND window = Initialize(&record);
    ASSERT_NE(window, nullptr);
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 24);
}

TEST_F(TodayItemTest, StretchScalesTheWholePictureToTheItem) {
    TestPicture twice = MakeTestPicture(120, 12);
    EXPECT_EQ(ShowBitmap(twice, kStretch, 24), ExpectStretch(twice, 240, 24));
    TestPicture uneven = MakeTestPicture(60, 8);
    EXPECT_EQ(ShowBitmap(uneven, kStretch, 24), ExpectStretch(uneven, 240, 24));
}

TEST_F(TodayItemTest, StretchOfASmallSquareFillsTheWholeItem) {
    TestPicture square = MakeTestPicture(10, 10);
    std::vector<uint32_t> pixels = ShowBitmap(square, kStretch, 24);
    ASSERT_EQ(pixels.size(), 240u * 24u);
    for (uint32_t pixel : pixels) ASSERT_NE(pixel, kWhite);
    EXPECT_EQ(pixels.front(), square.At(0, 0));
    EXPECT_EQ(pixels.back(), square.At(9, 9));
}

TEST_F(TodayItemTest, CenterCropsOrFramesWithTheOddPixelRightAndBottom) {
    TestPicture wide = MakeTestPicture(300, 30);  // offsets -30, -3
    EXPECT_EQ(ShowBitmap(wide, kCenter, 24), ExpectCenter(wide, 240, 24));
    TestPicture odd = MakeTestPicture(243, 27);  // offsets -1, -1 (not -2)
    EXPECT_EQ(ShowBitmap(odd, kCenter, 24), ExpectCenter(odd, 240, 24));
    TestPicture small = MakeTestPicture(15, 7);  // margins 112/113 and 8/9
    EXPECT_EQ(ShowBitmap(small, kCenter, 24), ExpectCenter(small, 240, 24));
}

TEST_F(TodayItemTest, TileRepeatsColumnsAndRowsAndClipsAtTheEdges) {
    TestPicture tile = MakeTestPicture(7, 5);
    EXPECT_EQ(ShowBitmap(tile, kTile, 24), ExpectTile(tile, 240, 24));
}

TEST_F(TodayItemTest, TileWithALargerPictureMakesOneCopy) {
    TestPicture large = MakeTestPicture(250, 40);
    EXPECT_EQ(ShowBitmap(large, kTile, 24), ExpectTile(large, 240, 24));
}

TEST_F(TodayItemTest, TopDownBitmapsArePlacedLikeBottomUpOnes) {
    TestPicture picture = MakeTestPicture(9, 6);
    EXPECT_EQ(ShowBitmap(picture, kTile, 24, true), ExpectTile(picture, 240, 24));
    EXPECT_EQ(ShowBitmap(picture, kCenter, 24, true), ExpectCenter(picture, 240, 24));
    TestPicture half = MakeTestPicture(120, 12);
    EXPECT_EQ(ShowBitmap(half, kStretch, 24, true), ExpectStretch(half, 240, 24));
}

TEST_F(TodayItemTest, UnknownModeLeavesTheItemWhite) {
    TestPicture picture = MakeTestPicture(20, 20);
    EXPECT_EQ(ShowBitmap(picture, 7, 24), AllWhite(240, 24));
    EXPECT_EQ(ShowBitmap(picture, -1, 24), AllWhite(240, 24));
}

TEST_F(TodayItemTest, HeaderClaimingMoreThanTheLoaderMadeNeverReadsOutside) {
    // A 12-byte core header: the item reads 32-bit width and height where the core header keeps
    // 16-bit fields, so it takes the picture for 262148 x 1572865 pixels; the loader makes 4 x 4.
    std::string file = "BM";
    auto put = [&file](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<char>(value >> (8 * i)));
    };
    put(14 + 12 + 4 * 12, 4);
    put(0, 4);
    put(14 + 12, 4);
    put(12, 4);
    put(4, 2);
    put(4, 2);
    put(1, 2);
    put(24, 2);
    for (int i = 0; i < 16; ++i) put(0x102030 + static_cast<uint32_t>(i), 3);
    std::filesystem::path path = folder_ / "core.bmp";
    WriteBytes(path, file);
    std::vector<uint32_t> tiled = ShowFile(path, kTile, 24);
    ASSERT_EQ(tiled.size(), 240u * 24u);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 240; ++x) {
            if (x < 4 && y < 4) {
                EXPECT_NE(tiled[y * 240 + x], kWhite) << x << "," << y;
            } else {
                ASSERT_EQ(tiled[y * 240 + x], kWhite) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(ShowFile(path, kCenter, 24), AllWhite(240, 24));
    EXPECT_EQ(ShowFile(path, kStretch, 24).size(), 240u * 24u);
}

TEST_F(TodayItemTest, DamagedOrMissingFilesGiveAWhiteItem) {
    std::filesystem::path gif = folder_ / "photo.gif";
    WriteBytes(gif, "GIF89a\x01\x00\x01\x00\x00\x00\x00;");
    EXPECT_EQ(ShowFile(gif, kStretch, 24), AllWhite(240, 24));

    std::filesystem::path short_header = folder_ / "short.bmp";
    WriteBytes(short_header,
               std::string("BM\x10\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00", 16));
    EXPECT_EQ(ShowFile(short_header, kCenter, 24), AllWhite(240, 24));

    // Valid headers, pixels cut short.
    TestPicture picture = MakeTestPicture(30, 10);
    std::filesystem::path cut = folder_ / "cut.bmp";
    WriteBitmapFile(cut, picture, false);
    std::filesystem::resize_file(cut, 14 + 40 + 50);
    EXPECT_EQ(ShowFile(cut, kTile, 24).size(), 240u * 24u);

    std::filesystem::path jpeg = folder_ / "damaged.jpg";
    WriteBytes(jpeg, std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00garbage", 17));
    EXPECT_EQ(ShowFile(jpeg, kTile, 24), AllWhite(240, 24));

    EXPECT_EQ(ShowFile(folder_ / "missing.bmp", kStretch, 24), AllWhite(240, 24));
    EXPECT_EQ(ShowFile("", kStretch, 24), AllWhite(240, 24));
}

TEST_F(TodayItemTest, ValuesOfAnotherToolNeverMakeTheItemReadPastItsSettings) {
    // 520 bytes of path without a terminator, a height stored as text, a two-byte mode.
    std::vector<WCHAR> unterminated(MAX_PATH, u'b');
    SetSettingsValue(u"Path", REG_SZ, unterminated.data(), 520);
    SetSettingsValue(u"Height", REG_SZ, u"40", 6);
    WORD mode = 2;
    SetSettingsValue(u"Mode", REG_BINARY, &mode, sizeof(mode));
    int w = 0;
    int h = 0;
    std::vector<uint32_t> pixels = ShowItem(&w, &h);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 24);
    EXPECT_EQ(pixels, AllWhite(240, 24));
}

TEST_F(TodayItemTest, DotsInFolderNamesDoNotMakeAnExtension) {
    TestPicture picture = MakeTestPicture(7, 5);
    std::filesystem::create_directory(folder_ / "pictures.jpg");
    std::filesystem::path file = folder_ / "pictures.jpg" / "photo";
    WriteBitmapFile(file, picture, false);
    EXPECT_EQ(ShowFile(file, kTile, 24), ExpectTile(picture, 240, 24));
}

TEST_F(TodayItemTest, JpegPicturesAreDecodedWhateverTheCaseOfTheExtension) {
    TestPicture sample = DecodeSample(SAMPLE_JPEG);
    ASSERT_EQ(sample.width, 480);
    ASSERT_EQ(sample.height, 360);
    std::filesystem::path upper = folder_ / "PHOTO.JPG";
    std::filesystem::copy_file(SAMPLE_JPEG, upper);
    EXPECT_EQ(ShowFile(upper, kCenter, 60), ExpectCenter(sample, 240, 60));
    std::filesystem::path jpeg = folder_ / "photo.jpeg";
    std::filesystem::copy_file(SAMPLE_JPEG, jpeg);
    EXPECT_EQ(ShowFile(jpeg, kTile, 40), ExpectTile(sample, 240, 40));
}

TEST_F(TodayItemTest, PaintCopiesExactlyTheDamagedRectangleFromTheCache) {
    TestPicture picture = MakeTestPicture(7, 5);
    std::vector<uint32_t> expected = ShowBitmap(picture, kTile, 24);
    HWND window = windows_.back();
    // Paint the window black behind the item's back, then damage a part of it.
    HDC dc = GetDC(window);
    RECT whole = {0, 0, 240, 24};
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FillRect(dc, &whole, black);
    ReleaseDC(window, dc);
    RECT damaged = {13, 3, 101, 17};
    InvalidateRect(window, &damaged, FALSE);
    UpdateWindow(window);
    int w = 0;
    int h = 0;
    std::vector<uint32_t> pixels = ReadWindow(window, &w, &h);
    ASSERT_EQ(pixels.size(), expected.size());
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 240; ++x) {
            bool inside = x >= 13 && x < 101 && y >= 3 && y < 17;
            ASSERT_EQ(pixels[y * 240 + x], inside ? expected[y * 240 + x] : 0u) << x << "," << y;
        }
    }
}

TEST_F(TodayItemTest, HostMessagesAndTapsChangeNothing) {
    TestPicture picture = MakeTestPicture(7, 5);
    std::vector<uint32_t> before = ShowBitmap(picture, kTile, 24);
    HWND window = windows_.back();
    EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_CLEARCACHE, 0, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_LBUTTONUP, 0, MAKELONG(5, 5)), 0);
    // The picture file is gone and the settings changed: the cache still answers the paint.
    std::filesystem::remove(folder_ / "picture.bmp");
    StoreSettings(kStretch, 24, u"");
    int w = 0;
    int h = 0;
    EXPECT_EQ(PaintAndRead(window, &w, &h), before);
}

TEST_F(TodayItemTest, TheCursorShownBeforeTheBuildIsShownAgain) {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    StoreSettings(kStretch, 24, Wide(folder_ / "missing.bmp"));
    TODAYLISTITEM record = EnabledRecord();
    ASSERT_NE(Initialize(&record), nullptr);
    EXPECT_EQ(GetCursor(), arrow);
    TestPicture picture = MakeTestPicture(7, 5);
    ShowBitmap(picture, kTile, 24);
    EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(TodayItemTest, CreatePaintAndDestroyGiveBackEveryHandle) {
    const int kinds[] = {WIN32LAYER_KIND_FILE,        WIN32LAYER_KIND_BITMAP,
                         WIN32LAYER_KIND_MEMORY_DC,   WIN32LAYER_KIND_WINDOW_DC,
                         WIN32LAYER_KIND_BRUSH,       WIN32LAYER_KIND_WINDOW,
                         WIN32LAYER_KIND_REGISTRY_KEY};
    std::vector<int> before;
    for (int kind : kinds) before.push_back(Win32LayerLiveHandleCount(kind));
    int blocks_before = Win32LayerLiveLocalBlockCount();

    TestPicture picture = MakeTestPicture(33, 9);
    for (int mode : {kStretch, kCenter, kTile}) {
        ShowBitmap(picture, mode, 24);
        DestroyWindow(windows_.back());
    }
    std::filesystem::path jpeg = folder_ / "photo.jpg";
    std::filesystem::copy_file(SAMPLE_JPEG, jpeg);
    ShowFile(jpeg, kCenter, 24);
    DestroyWindow(windows_.back());
    ShowFile(folder_ / "missing.bmp", kCenter, 24);
    DestroyWindow(windows_.back());

    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(Win32LayerLiveHandleCount(kinds[i]), before[i]) << "kind " << kinds[i];
    }
    EXPECT_EQ(Win32LayerLiveLocalBlockCount(), blocks_before);
}

}  // namespace
