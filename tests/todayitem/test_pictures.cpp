#include "test_pictures.h"

#include <fstream>

#include "bitmap_file_writer.h"

TestPicture MakeTestPicture(int width, int height) {
    TestPicture picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t r = static_cast<uint32_t>(x * 37 + y * 11) % 200;
            uint32_t g = static_cast<uint32_t>(y * 53 + 7) % 200;
            uint32_t b = static_cast<uint32_t>(x * 5 + y * 29 + 3) % 200;
            picture.pixels.push_back(r << 16 | g << 8 | b);
        }
    }
    return picture;
}

void WriteBitmapFile(const std::filesystem::path& path, const TestPicture& picture, bool top_down) {
    BmpWriteSpec spec;
    spec.width = picture.width;
    spec.height = picture.height;
    spec.top_down = top_down;
    const std::vector<uint8_t> file =
        WriteBmp(spec, [&picture](int x, int y) { return picture.At(x, y); });
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
}

// Nearest neighbour; the tests pick sizes whose factors are whole numbers, where every
// nearest-neighbour rule agrees.
std::vector<uint32_t> ExpectStretch(const TestPicture& picture, int w, int h) {
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            out.push_back(picture.At(x * picture.width / w, y * picture.height / h));
    }
    return out;
}

std::vector<uint32_t> ExpectCenter(const TestPicture& picture, int w, int h) {
    // Signed halving that truncates toward zero.
    int left = (w - picture.width) / 2;
    int top = (h - picture.height) / 2;
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sx = x - left;
            int sy = y - top;
            bool inside = sx >= 0 && sy >= 0 && sx < picture.width && sy < picture.height;
            out.push_back(inside ? picture.At(sx, sy) : kWhite);
        }
    }
    return out;
}

std::vector<uint32_t> ExpectTile(const TestPicture& picture, int w, int h) {
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            out.push_back(picture.At(x % picture.width, y % picture.height));
    }
    return out;
}
