// SHLoadDIBitmap from files on disk: the DIB section it returns (bottom-up, 24 or 32 bits,
// usable in a memory DC), its failures, and files written by ImageMagick's convert, compared
// with the picture they were made from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "bitmap_file_writer.h"
#include "pocketpc.h"
#include "temp_folder.h"
#include "win32/host_services.h"
#include "win32/test_probes.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 13;
constexpr int kHeight = 7;

// The reference picture: 91 distinct colours, so that a palette holds it exactly.
uint32_t ReferenceRgb(int x, int y) {
    return static_cast<uint32_t>((((x * 19) % 256) << 16) | (((y * 37) % 256) << 8) |
                                 (((x + y) * 23) % 256));
}

class BitmapFileLoad : public testing::Test {
protected:
    void SetUp() override {
        folder_ = testsupport::MakeTempFolder("bitmap_file");
        ASSERT_FALSE(folder_.empty());
        bitmaps_before_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP);
    }
    void TearDown() override {
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BITMAP), bitmaps_before_);
        testsupport::RemoveFolder(folder_);
    }

    fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::u16string Wide(const fs::path& path) {
        const std::string text = path.string();
        return std::u16string(text.begin(), text.end());  // the temporary folder's name is ASCII
    }

    static HBITMAP Load(const fs::path& path) { return SHLoadDIBitmap(Wide(path).c_str()); }

    // The bitmap's pixels as 0x00RRGGBB, top row first.
    static std::vector<uint32_t> Pixels(HBITMAP bitmap) {
        int width = 0;
        int height = 0;
        EXPECT_TRUE(Win32LayerReadBitmap(bitmap, &width, &height, nullptr));
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
        EXPECT_TRUE(Win32LayerReadBitmap(bitmap, &width, &height, pixels.data()));
        return pixels;
    }

    static void ExpectReference(HBITMAP bitmap) {
        ASSERT_NE(bitmap, nullptr);
        const std::vector<uint32_t> pixels = Pixels(bitmap);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(kWidth * kHeight));
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                ASSERT_EQ(pixels[y * kWidth + x] & 0xffffffu, ReferenceRgb(x, y))
                    << "at " << x << ", " << y;
            }
        }
    }

    fs::path folder_;
    int bitmaps_before_ = 0;
};

TEST_F(BitmapFileLoad, GivesABottomUpDibSectionThatAMemoryDcTakes) {
    BmpWriteSpec spec;
    spec.top_down = true;
    const fs::path path = Write("picture.bmp", WriteBmp(spec, ReferenceRgb));
    HBITMAP bitmap = Load(path);
    ExpectReference(bitmap);

    DIBSECTION section = {};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, kWidth);
    EXPECT_EQ(section.dsBm.bmHeight, kHeight);
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    EXPECT_NE(section.dsBm.bmBits, nullptr);
    EXPECT_EQ(section.dsBmih.biHeight, kHeight);  // positive: bottom-up

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    EXPECT_NE(previous, nullptr);
    SelectObject(dc, previous);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(BitmapFileLoad, AlphaFilesGiveThirtyTwoBits) {
    BmpWriteSpec spec;
    spec.header_size = 124;
    spec.bpp = 32;
    spec.compression = BI_BITFIELDS;
    spec.masks[0] = 0xff0000;
    spec.masks[1] = 0xff00;
    spec.masks[2] = 0xff;
    spec.masks[3] = 0xff000000;
    HBITMAP bitmap =
        Load(Write("alpha.bmp",
                   WriteBmp(spec, [](int x, int y) { return 0x80000000u | ReferenceRgb(x, y); })));
    ExpectReference(bitmap);
    DIBSECTION section = {};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(static_cast<const uint8_t*>(section.dsBm.bmBits)[3], 0x80);
    DeleteObject(bitmap);
}

TEST_F(BitmapFileLoad, FailuresGiveNull) {
    EXPECT_EQ(Load(folder_ / "missing.bmp"), nullptr);
    EXPECT_EQ(SHLoadDIBitmap(nullptr), nullptr);
    EXPECT_EQ(Load(Write("empty.bmp", {})), nullptr);
    EXPECT_EQ(Load(Write("gif.bmp", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0})), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(Load(folder_), nullptr);  // a folder

    // Headers claiming more than 2^31 bytes of pixels are refused before any allocation.
    BmpWriteSpec spec;
    std::vector<uint8_t> huge = WriteBmp(spec, ReferenceRgb);
    PutU32(&huge, 18, 50000);
    PutU32(&huge, 22, 50000);
    EXPECT_EQ(Load(Write("huge.bmp", huge)), nullptr);
}

TEST_F(BitmapFileLoad, TruncatedPixelDataLoadsWithTheRestBlack) {
    BmpWriteSpec spec;
    std::vector<uint8_t> bytes = WriteBmp(spec, ReferenceRgb);
    bytes.resize(54 + 40 * 3 + 10);  // three whole rows (the bottom ones) and three pixels
    HBITMAP bitmap = Load(Write("cut.bmp", bytes));
    ASSERT_NE(bitmap, nullptr);
    const std::vector<uint32_t> pixels = Pixels(bitmap);
    EXPECT_EQ(pixels[6 * kWidth + 5] & 0xffffffu, ReferenceRgb(5, 6));
    EXPECT_EQ(pixels[3 * kWidth + 2] & 0xffffffu, ReferenceRgb(2, 3));
    EXPECT_EQ(pixels[3 * kWidth + 3] & 0xffffffu, 0u);
    EXPECT_EQ(pixels[0] & 0xffffffu, 0u);
    DeleteObject(bitmap);
}

// ImageMagick's convert, when the build found it.
class ImageMagickFiles : public BitmapFileLoad {
protected:
    void SetUp() override {
        BitmapFileLoad::SetUp();
        convert_ = WIN32LAYER_TEST_CONVERT;
        if (convert_.empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
        std::vector<uint8_t> ppm;
        const std::string head = "P6\n13 7\n255\n";
        ppm.assign(head.begin(), head.end());
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t v = ReferenceRgb(x, y);
                ppm.push_back(static_cast<uint8_t>(v >> 16));
                ppm.push_back(static_cast<uint8_t>(v >> 8));
                ppm.push_back(static_cast<uint8_t>(v));
            }
        }
        source_ = Write("source.ppm", ppm);
    }

    // Runs convert on the reference picture with these options, writing a file of this
    // format ("bmp3" ...); the file it wrote.
    fs::path Convert(const std::string& options, const std::string& format,
                     const std::string& name) {
        const fs::path out = folder_ / name;
        const std::string command = "'" + convert_ + "' '" + source_.string() + "' " + options +
                                    " -define bmp:format=" + format + " '" + out.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out;
    }

    static std::vector<uint8_t> ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
    }

    std::string convert_;
    fs::path source_;
};

// A header byte of a file: where it stands and what it must hold.
struct HeaderByte {
    size_t offset;
    uint8_t value;
};

// Files convert writes from the reference picture, one row per case: the options and the
// format asked for, the header bytes that show convert wrote the kind of file meant, and
// whether the file carries alpha (half opaque), which the bitmap must keep in 32 bits.
struct ConvertedCase {
    const char* name;
    const char* options;
    const char* format;
    std::vector<HeaderByte> header;
    bool alpha;
};

// Names the row in the test list and in failures.
void PrintTo(const ConvertedCase& row, std::ostream* out) {
    *out << row.name;
}

class ConvertedFiles : public ImageMagickFiles,
                       public testing::WithParamInterface<ConvertedCase> {};

TEST_P(ConvertedFiles, LoadAsTheReferencePicture) {
    const ConvertedCase& row = GetParam();
    const fs::path path = Convert(row.options, row.format, std::string(row.name) + ".bmp");
    const std::vector<uint8_t> bytes = ReadAll(path);
    for (const HeaderByte& header : row.header) {
        ASSERT_EQ(bytes.at(header.offset), header.value) << "at " << header.offset;
    }
    HBITMAP bitmap = Load(path);
    ExpectReference(bitmap);
    if (row.alpha) {
        DIBSECTION section = {};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
        EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
        const uint8_t alpha = static_cast<const uint8_t*>(section.dsBm.bmBits)[3];
        EXPECT_NEAR(alpha, 128, 1);
    }
    DeleteObject(bitmap);
}

// Header offsets: 14 the info header's size, 28 the bits per pixel, 30 the compression.
INSTANTIATE_TEST_SUITE_P(
    ImageMagickFiles, ConvertedFiles,
    testing::Values(
        ConvertedCase{"Bmp3TwentyFourBits", "-type TrueColor", "bmp3", {{28, 24}}, false},
        // ImageMagick compresses 8-bit files with BI_RLE8 unless told not to.
        ConvertedCase{
            "Bmp3EightBitsRunLength", "-type Palette", "bmp3", {{28, 8}, {30, BI_RLE8}}, false},
        ConvertedCase{"Bmp3EightBitsPlain",
                      "-type Palette -compress None",
                      "bmp3",
                      {{28, 8}, {30, BI_RGB}},
                      false},
        ConvertedCase{"Bmp2CoreHeader", "", "bmp2", {{14, 12}}, false},
        ConvertedCase{"Bmp4ThirtyTwoBitsWithAlpha",
                      "-alpha set -channel A -evaluate set 50%",
                      "bmp4",
                      {{28, 32}},
                      true},
        ConvertedCase{"Bmp5ThirtyTwoBitsWithAlpha",
                      "-alpha set -channel A -evaluate set 50%",
                      "bmp5",
                      {{28, 32}},
                      true}),
    [](const testing::TestParamInfo<ConvertedCase>& row) { return row.param.name; });

TEST_F(ImageMagickFiles, TopDownRowsOfAConvertedFile) {
    // convert writes bottom-up rows only: turn its 24-bit file into the top-down form by
    // reversing the rows and negating the height.
    std::vector<uint8_t> bytes = ReadAll(Convert("-type TrueColor", "bmp3", "t24.bmp"));
    const size_t offset = bytes.at(10) | (bytes.at(11) << 8);
    const size_t row_bytes = (kWidth * 3 + 3) / 4 * 4;
    ASSERT_GE(bytes.size(), offset + row_bytes * kHeight);
    for (int r = 0; r < kHeight / 2; ++r) {
        std::swap_ranges(bytes.begin() + offset + r * row_bytes,
                         bytes.begin() + offset + (r + 1) * row_bytes,
                         bytes.begin() + offset + (kHeight - 1 - r) * row_bytes);
    }
    PutU32(&bytes, 22, static_cast<uint32_t>(-kHeight));
    HBITMAP bitmap = Load(Write("top-down.bmp", bytes));
    ExpectReference(bitmap);
    DeleteObject(bitmap);
}

}  // namespace
