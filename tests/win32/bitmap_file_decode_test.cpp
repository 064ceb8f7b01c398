// The bitmap file decoder on byte buffers: every header, depth and compression it reads, the
// run-length escapes, truncated and damaged files (decoded from buffers of their exact size, so
// that AddressSanitizer sees any read past the end), and mutated files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap_file_writer.h"
#include "bmp_decode.h"

namespace {

struct Pixel {
    uint8_t b, g, r, a;
    bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};

std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(r " << int(p.r) << ", g " << int(p.g) << ", b " << int(p.b) << ", a " << int(p.a)
              << ")";
}

struct Decoded {
    BmpResult result = BmpResult::Damaged;
    BmpInfo info;
    std::vector<Pixel> pixels;  // top row first
    Pixel At(int x, int y) const { return pixels[static_cast<size_t>(y) * info.width + x]; }
};

// Decodes into 32-bit pixels from a copy of exactly the file's size.
Decoded Decode(const std::vector<uint8_t>& bytes) {
    Decoded d;
    const std::vector<uint8_t> file(bytes);
    d.result = BmpReadInfo(file.data(), file.size(), &d.info);
    if (d.result != BmpResult::Ok) return d;
    const size_t stride = static_cast<size_t>(d.info.width) * 4;
    std::vector<uint8_t> out(stride * d.info.height, 0xCD);
    d.result = BmpDecode(file.data(), file.size(), out.data(), 4, stride);
    d.pixels.resize(static_cast<size_t>(d.info.width) * d.info.height);
    for (int y = 0; y < d.info.height; ++y) {
        const uint8_t* row = out.data() + (d.info.height - 1 - y) * stride;  // bottom-up
        for (int x = 0; x < d.info.width; ++x) {
            const uint8_t* p = row + 4 * x;
            d.pixels[static_cast<size_t>(y) * d.info.width + x] = Pixel{p[0], p[1], p[2], p[3]};
        }
    }
    return d;
}

// A palette of n distinct colours, none black; entry size 3 or 4 bytes.
std::vector<uint8_t> MakePalette(int n, int entry_size) {
    std::vector<uint8_t> palette;
    for (int i = 0; i < n; ++i) {
        palette.push_back(static_cast<uint8_t>(i * 41 + 7));
        palette.push_back(static_cast<uint8_t>(i * 97 + 3));
        palette.push_back(static_cast<uint8_t>(255 - i * 13));
        if (entry_size == 4) palette.push_back(0);
    }
    return palette;
}

Pixel PaletteEntry(const std::vector<uint8_t>& palette, int entry_size, uint32_t index) {
    const uint8_t* p = palette.data() + index * entry_size;
    return Pixel{p[0], p[1], p[2], 0};
}

// The 8-bit value of an n-bit field by bit repetition, as Windows expands 5 and 6-bit colours.
uint8_t Expand(uint32_t v, int bits) {
    uint32_t out = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits) {
        out |= shift >= 0 ? v << shift : v >> -shift;
    }
    return static_cast<uint8_t>(out);
}

TEST(BitmapFileDecode, PaletteDepthsWithEveryHeader) {
    for (int header : {12, 40, 108, 124}) {
        for (int bpp : {1, 4, 8}) {
            for (bool top_down : {false, true}) {
                if (header == 12 && top_down) continue;  // core heights are unsigned
                SCOPED_TRACE("header " + std::to_string(header) + " bpp " + std::to_string(bpp) +
                             (top_down ? " top-down" : " bottom-up"));
                const int entry = header == 12 ? 3 : 4;
                BmpWriteSpec spec;
                spec.header_size = header;
                spec.bpp = bpp;
                spec.top_down = top_down;
                spec.palette = MakePalette(1 << bpp, entry);
                const uint32_t colours = 1u << bpp;
                auto index = [&](int x, int y) { return (x * 5 + y * 3) % colours; };
                const Decoded d = Decode(WriteBmp(spec, index));
                ASSERT_EQ(d.result, BmpResult::Ok);
                EXPECT_EQ(d.info.width, 13);
                EXPECT_EQ(d.info.height, 7);
                EXPECT_EQ(d.info.top_down, top_down);
                EXPECT_FALSE(d.info.has_alpha);
                for (int y = 0; y < 7; ++y) {
                    for (int x = 0; x < 13; ++x) {
                        ASSERT_EQ(d.At(x, y), PaletteEntry(spec.palette, entry, index(x, y)))
                            << "at " << x << ", " << y;
                    }
                }
            }
        }
    }
}

TEST(BitmapFileDecode, TwentyFourBitsWithEveryHeader) {
    for (int header : {12, 40, 108, 124}) {
        for (bool top_down : {false, true}) {
            if (header == 12 && top_down) continue;
            SCOPED_TRACE("header " + std::to_string(header));
            BmpWriteSpec spec;
            spec.header_size = header;
            spec.top_down = top_down;
            auto rgb = [](int x, int y) {
                return static_cast<uint32_t>(((x * 19) << 16) | ((y * 37) << 8) | (x * y + 1));
            };
            const Decoded d = Decode(WriteBmp(spec, rgb));
            ASSERT_EQ(d.result, BmpResult::Ok);
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 13; ++x) {
                    const uint32_t v = rgb(x, y);
                    ASSERT_EQ(d.At(x, y),
                              (Pixel{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 0}));
                }
            }
        }
    }
}

struct FieldCase {
    const char* name;
    int header;
    int bpp;
    uint32_t compression;
    uint32_t masks[4];
    bool has_alpha;
};

TEST(BitmapFileDecode, BitFieldsAndDefaultMasks) {
    const FieldCase cases[] = {
        {"16 bpp RGB is 5-5-5", 40, 16, 0, {0x7c00, 0x03e0, 0x001f, 0}, false},
        {"16 bpp 5-6-5 after a 40-byte header", 40, 16, 3, {0xf800, 0x07e0, 0x001f, 0}, false},
        {"16 bpp 5-6-5 in a 108-byte header", 108, 16, 3, {0xf800, 0x07e0, 0x001f, 0}, false},
        {"16 bpp 4-4-4-4 in a 56-byte header", 56, 16, 3, {0x0f00, 0x00f0, 0x000f, 0xf000}, true},
        {"32 bpp RGB ignores the fourth byte", 40, 32, 0, {0xff0000, 0xff00, 0xff, 0}, false},
        {"32 bpp RGBX order in a 52-byte header", 52, 32, 3, {0xff, 0xff00, 0xff0000, 0}, false},
        {"32 bpp with alpha in a 124-byte header",
         124,
         32,
         3,
         {0xff0000, 0xff00, 0xff, 0xff000000},
         true},
        {"32 bpp alpha bit fields after a 40-byte header",
         40,
         32,
         6,
         {0xff000000, 0xff0000, 0xff00, 0xff},
         true},
        {"32 bpp 10-10-10 fields", 40, 32, 3, {0x3ff00000, 0xffc00, 0x3ff, 0}, false},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        BmpWriteSpec spec;
        spec.header_size = c.header;
        spec.bpp = c.bpp;
        spec.compression = c.compression;
        for (int i = 0; i < 4; ++i) spec.masks[i] = c.compression == 0 ? 0 : c.masks[i];
        // Raw words that walk through every field's values; the unused bits hold noise.
        auto raw = [&](int x, int y) {
            const uint32_t seed = static_cast<uint32_t>(x * 2654435761u + y * 40503u);
            return c.bpp == 16 ? (seed & 0xffffu) : seed;
        };
        const Decoded d = Decode(WriteBmp(spec, raw));
        ASSERT_EQ(d.result, BmpResult::Ok);
        EXPECT_EQ(d.info.has_alpha, c.has_alpha);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 13; ++x) {
                const uint32_t v = raw(x, y);
                uint8_t channel[4];
                for (int i = 0; i < 4; ++i) {
                    const uint32_t mask = c.masks[i];
                    if (mask == 0) {
                        channel[i] = 0;
                        continue;
                    }
                    const int shift = __builtin_ctz(mask);
                    const int bits = __builtin_popcount(mask);
                    const uint32_t field = (v & mask) >> shift;
                    channel[i] = bits >= 8 ? uint8_t(field >> (bits - 8)) : Expand(field, bits);
                }
                ASSERT_EQ(d.At(x, y), (Pixel{channel[2], channel[1], channel[0],
                                             uint8_t(c.has_alpha ? channel[3] : 0)}))
                    << "at " << x << ", " << y;
            }
        }
    }
}

TEST(BitmapFileDecode, NarrowFieldsExpandToFullRange) {
    BmpWriteSpec spec;
    spec.bpp = 16;
    spec.width = 4;
    spec.height = 1;
    const uint32_t words[4] = {0x7fff, 0x4210, 0x0000, 0x0c63};  // white, 16s, black, 3s
    const Decoded d = Decode(WriteBmp(spec, [&](int x, int) { return words[x]; }));
    ASSERT_EQ(d.result, BmpResult::Ok);
    EXPECT_EQ(d.At(0, 0), (Pixel{255, 255, 255, 0}));
    EXPECT_EQ(d.At(1, 0), (Pixel{0x84, 0x84, 0x84, 0}));
    EXPECT_EQ(d.At(2, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(d.At(3, 0), (Pixel{0x18, 0x18, 0x18, 0}));
}

TEST(BitmapFileDecode, PaletteIndexPastTheColoursUsedIsBlack) {
    BmpWriteSpec spec;
    spec.bpp = 8;
    spec.width = 4;
    spec.height = 1;
    spec.colours_used = 2;
    spec.palette = MakePalette(2, 4);
    const Decoded d = Decode(WriteBmp(spec, [](int x, int) { return static_cast<uint32_t>(x); }));
    ASSERT_EQ(d.result, BmpResult::Ok);
    EXPECT_EQ(d.At(1, 0), PaletteEntry(spec.palette, 4, 1));
    EXPECT_EQ(d.At(2, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(d.At(3, 0), (Pixel{0, 0, 0, 0}));
}

// The header of a run-length encoded file (BI_RLE8 for 8 bits per pixel, BI_RLE4 for 4) with a
// palette of 16 entries.
BmpWriteSpec RunLengthSpec(int bpp, int width, int height) {
    BmpWriteSpec spec;
    spec.bpp = bpp;
    spec.compression = bpp == 8 ? 1 : 2;
    spec.width = width;
    spec.height = height;
    spec.palette = MakePalette(16, 4);
    return spec;
}

// Builds the expected picture of a run-length test: '.' is a pixel never written (black),
// a hex digit a palette index; rows top first.
std::vector<Pixel> Expected(const std::vector<std::string>& rows,
                            const std::vector<uint8_t>& palette) {
    std::vector<Pixel> out;
    for (const std::string& row : rows) {
        for (char c : row) {
            out.push_back(
                c == '.' ? Pixel{0, 0, 0, 0}
                         : PaletteEntry(palette, 4, std::stoul(std::string(1, c), nullptr, 16)));
        }
    }
    return out;
}

TEST(BitmapFileDecode, RunLength8Escapes) {
    const BmpWriteSpec spec = RunLengthSpec(8, 8, 4);
    const std::vector<uint8_t> rle = {
        3, 1, 0, 3, 2, 3, 4, 0, 0, 0,  // bottom row: run, absolute run of 3 (padded), end of line
        2, 5, 0, 2, 3, 1,              // run of two, then move 3 right and 1 up
        1, 6, 0, 0,                    // one pixel at x 5, end of line
        8, 7, 4, 1,                    // a full row, then a run past the right edge (dropped)
        0, 1,                          // end of bitmap
        9, 9};                         // never read
    const Decoded d = Decode(WriteBmp(spec, nullptr, &rle));
    ASSERT_EQ(d.result, BmpResult::Ok);
    EXPECT_EQ(d.pixels, Expected({"77777777", ".....6..", "55......", "111234.."}, spec.palette));
}

TEST(BitmapFileDecode, RunLength4Escapes) {
    const BmpWriteSpec spec = RunLengthSpec(4, 8, 2);
    const std::vector<uint8_t> rle = {
        5, 0x12, 0,    3,    0x34, 0x50, 0, 0,  // alternating run, absolute run of 3 nibbles
        0, 5,    0x67, 0x89, 0xa0, 0,           // absolute run of 5 nibbles: 3 bytes, padded to 4
        0, 1};
    const Decoded d = Decode(WriteBmp(spec, nullptr, &rle));
    ASSERT_EQ(d.result, BmpResult::Ok);
    EXPECT_EQ(d.pixels, Expected({"6789a...", "12121345"}, spec.palette));
}

TEST(BitmapFileDecode, RunLengthDataEndingEarlyKeepsWhatCame) {
    const BmpWriteSpec spec = RunLengthSpec(8, 4, 2);
    const std::vector<std::vector<uint8_t>> streams = {
        {4, 2, 0, 0, 2, 3},        // no end of bitmap
        {4, 2, 0, 0, 0, 4, 3, 3},  // absolute run cut short
        {4, 2, 0, 0, 0, 2, 3},     // delta without its offsets... as absolute of 2: cut
        {4, 2, 0},                 // half a pair
    };
    for (const auto& rle : streams) {
        const Decoded d = Decode(WriteBmp(spec, nullptr, &rle));
        EXPECT_EQ(d.result, BmpResult::Truncated);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(d.At(x, 1), PaletteEntry(spec.palette, 4, 2));
    }
}

TEST(BitmapFileDecode, TruncatedPixelDataKeepsCompleteRowsAndPixels) {
    BmpWriteSpec spec;
    auto rgb = [](int x, int y) { return static_cast<uint32_t>(0x102030 + x * 0x10101 + y * 7); };
    const std::vector<uint8_t> whole = WriteBmp(spec, rgb);
    const size_t pixel_offset = 54;
    const size_t row_bytes = 40;  // 13 * 3 padded
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const Decoded d = Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
        if (cut <= pixel_offset) {
            EXPECT_FALSE(BmpResultHasPicture(d.result)) << cut;
            continue;
        }
        // Only the last row's padding missing: every pixel is there.
        const bool complete = cut >= pixel_offset + 6 * row_bytes + 13 * 3;
        ASSERT_EQ(d.result, complete ? BmpResult::Ok : BmpResult::Truncated) << cut;
        // File row r holds picture row 6 - r; pixels wholly inside the cut are kept.
        for (int r = 0; r < 7; ++r) {
            for (int x = 0; x < 13; ++x) {
                const size_t end = pixel_offset + r * row_bytes + 3 * (x + 1);
                const uint32_t v = rgb(x, 6 - r);
                const Pixel expected = end <= cut
                                           ? Pixel{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 0}
                                           : Pixel{0, 0, 0, 0};
                ASSERT_EQ(d.At(x, 6 - r), expected) << "cut " << cut << " at " << x << ", " << r;
            }
        }
    }
    EXPECT_EQ(Decode(whole).result, BmpResult::Ok);
}

TEST(BitmapFileDecode, HeadersCutAnywhereFailCleanly) {
    BmpWriteSpec spec;
    spec.bpp = 8;
    spec.palette = MakePalette(256, 4);
    const std::vector<uint8_t> whole = WriteBmp(spec, [](int x, int y) { return uint32_t(x + y); });
    const size_t pixel_offset = 14 + 40 + 1024;
    for (size_t cut = 0; cut <= pixel_offset; ++cut) {
        BmpInfo info;
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        EXPECT_FALSE(BmpResultHasPicture(BmpReadInfo(part.data(), part.size(), &info))) << cut;
    }
}

// Edits a valid 24-bit file's header and returns what reading its headers says.
BmpResult WithHeaderEdit(const std::function<void(std::vector<uint8_t>*)>& edit) {
    BmpWriteSpec spec;
    std::vector<uint8_t> file = WriteBmp(spec, [](int, int) { return 0u; });
    edit(&file);
    BmpInfo info;
    return BmpReadInfo(file.data(), file.size(), &info);
}

TEST(BitmapFileDecode, RefusesWhatItCannotRead) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(WithHeaderEdit([](V* f) { (*f)[1] = 'A'; }), BmpResult::NotBitmap);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 14, 64); }), BmpResult::Unsupported);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU16(f, 28, 2); }), BmpResult::Unsupported);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 30, 4); }), BmpResult::Unsupported);  // JPEG
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 30, 1); }), BmpResult::Damaged);      // RLE8, 24
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 30, 3); }), BmpResult::Damaged);  // fields, 24
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 18, 0); }), BmpResult::Damaged);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 18, 0xfffffff3u); }), BmpResult::Damaged);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 22, 0); }), BmpResult::Damaged);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 22, 0x80000000u); }), BmpResult::Damaged);
    EXPECT_EQ(WithHeaderEdit([](V* f) {
                  PutU16(f, 28, 8);
                  PutU32(f, 30, 1);
                  PutU32(f, 22, static_cast<uint32_t>(-7));  // top-down run-length
              }),
              BmpResult::Damaged);
    EXPECT_EQ(WithHeaderEdit([](V* f) { PutU32(f, 10, static_cast<uint32_t>(f->size())); }),
              BmpResult::Damaged);  // no pixel data
    // Width * height * 4 may reach 2^31 - 1 but not pass it; nothing is allocated to find out.
    EXPECT_EQ(WithHeaderEdit([](V* f) {
                  PutU32(f, 18, 0x7fffffffu / 4);
                  PutU32(f, 22, 1);
              }),
              BmpResult::Ok);
    EXPECT_EQ(WithHeaderEdit([](V* f) {
                  PutU32(f, 18, 0x7fffffffu / 4 + 1);
                  PutU32(f, 22, 1);
              }),
              BmpResult::TooLarge);
    EXPECT_EQ(WithHeaderEdit([](V* f) {
                  PutU32(f, 18, 65536);
                  PutU32(f, 22, static_cast<uint32_t>(-65536));
              }),
              BmpResult::TooLarge);
    BmpInfo info;
    EXPECT_EQ(BmpReadInfo(nullptr, 0, &info), BmpResult::NotBitmap);
}

// Mutated files of every kind: whatever the result, nothing is read outside the buffer and
// nothing outside the output is written (AddressSanitizer watches both).
TEST(BitmapFileDecode, MutatedFilesNeverEscapeTheirBuffers) {
    std::vector<std::vector<uint8_t>> seeds;
    auto add = [&](BmpWriteSpec spec, const std::vector<uint8_t>* rle = nullptr) {
        spec.width = 9;
        spec.height = 5;
        seeds.push_back(WriteBmp(
            spec, [](int x, int y) { return uint32_t(x * 7 + y * 3); }, rle));
    };
    BmpWriteSpec spec;
    add(spec);
    spec.header_size = 12;
    spec.bpp = 8;
    spec.palette = MakePalette(256, 3);
    add(spec);
    spec.header_size = 40;
    spec.palette = MakePalette(16, 4);
    spec.bpp = 4;
    add(spec);
    spec.compression = 2;
    const std::vector<uint8_t> rle4 = {5, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0,
                                       0, 0,    2, 1, 1,    3,    0x9a, 0, 1};
    add(spec, &rle4);
    spec.bpp = 8;
    spec.compression = 1;
    const std::vector<uint8_t> rle8 = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 2, 9, 5, 0, 1};
    add(spec, &rle8);
    spec.palette.clear();
    spec.compression = 3;
    spec.bpp = 32;
    spec.header_size = 124;
    spec.masks[0] = 0xff0000;
    spec.masks[1] = 0xff00;
    spec.masks[2] = 0xff;
    spec.masks[3] = 0xff000000;
    add(spec);
    spec.bpp = 16;
    spec.header_size = 40;
    spec.masks[0] = 0xf800;
    spec.masks[1] = 0x7e0;
    spec.masks[2] = 0x1f;
    add(spec);

    uint32_t state = 12345;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    int pictures = 0;
    for (const std::vector<uint8_t>& seed : seeds) {
        for (int round = 0; round < 400; ++round) {
            std::vector<uint8_t> file = seed;
            const int edits = 1 + next() % 4;
            for (int e = 0; e < edits; ++e) {
                // Mostly the headers, where the claims are.
                const size_t limit = next() % 2 ? std::min<size_t>(file.size(), 70) : file.size();
                const uint32_t what = next();
                uint8_t& byte = file[next() % limit];
                byte = what % 3 == 0 ? static_cast<uint8_t>(what >> 8) : byte ^ (1u << (what % 8));
            }
            if (next() % 4 == 0) file.resize(next() % (file.size() + 1));
            BmpInfo info;
            if (BmpReadInfo(file.data(), file.size(), &info) != BmpResult::Ok) continue;
            if (static_cast<uint64_t>(info.width) * info.height > (1u << 20)) continue;
            const size_t stride = (static_cast<size_t>(info.width) * 3 + 3) / 4 * 4;
            std::vector<uint8_t> out(stride * info.height);
            if (BmpResultHasPicture(BmpDecode(file.data(), file.size(), out.data(), 3, stride))) {
                ++pictures;
            }
        }
    }
    EXPECT_GT(pictures, 0);  // the mutations also reach the pixel decoders
}

}  // namespace
