#include "test_pictures.h"

#include <cstring>
#include <fstream>

namespace {

void Put16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

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
    uint32_t stride = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
    uint32_t image_size = stride * static_cast<uint32_t>(picture.height);
    std::vector<uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    Put32(&file, 14 + 40 + image_size);
    Put32(&file, 0);
    Put32(&file, 14 + 40);
    Put32(&file, 40);
    Put32(&file, static_cast<uint32_t>(picture.width));
    Put32(&file, static_cast<uint32_t>(top_down ? -picture.height : picture.height));
    Put16(&file, 1);
    Put16(&file, 24);
    Put32(&file, 0);  // BI_RGB
    Put32(&file, image_size);
    Put32(&file, 2835);
    Put32(&file, 2835);
    Put32(&file, 0);
    Put32(&file, 0);
    for (int row = 0; row < picture.height; ++row) {
        int y = top_down ? row : picture.height - 1 - row;
        size_t start = file.size();
        for (int x = 0; x < picture.width; ++x) {
            uint32_t pixel = picture.At(x, y);
            file.push_back(static_cast<uint8_t>(pixel));
            file.push_back(static_cast<uint8_t>(pixel >> 8));
            file.push_back(static_cast<uint8_t>(pixel >> 16));
        }
        file.resize(start + stride, 0);
    }
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
