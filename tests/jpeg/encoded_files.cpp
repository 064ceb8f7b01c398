#include "encoded_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "temp_folder.h"

namespace testfiles {

namespace {

void WritePpm(const std::filesystem::path& path, const Rgb& picture) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.pixels.data()),
              static_cast<std::streamsize>(picture.pixels.size()));
}

bool ReadPnm(const std::filesystem::path& path, Rgb* out) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string magic;
    int max = 0;
    in >> magic >> out->width >> out->height >> max;
    if (!in || (magic != "P6" && magic != "P5") || max != 255) return false;
    const size_t start = static_cast<size_t>(in.tellg()) + 1;
    const size_t count = static_cast<size_t>(out->width) * static_cast<size_t>(out->height);
    const size_t channels = magic == "P6" ? 3 : 1;
    if (bytes.size() < start + count * channels) return false;
    out->pixels.resize(count * 3);
    for (size_t i = 0; i < count; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            out->pixels[i * 3 + c] = bytes[start + i * channels + (channels == 3 ? c : 0)];
        }
    }
    return true;
}

}  // namespace

Rgb MakePicture(int width, int height, uint32_t seed) {
    Rgb picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint32_t state = seed * 2654435761u + 1;
    size_t at = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const int r = (x * 255) / (width > 1 ? width - 1 : 1);
            const int g = (y * 255) / (height > 1 ? height - 1 : 1);
            const int b = ((x / 7 + y / 5) % 2 == 0) ? 220 : 30;
            const int values[3] = {r + noise, g - noise, b + noise};
            for (int value : values) {
                picture.pixels[at++] = static_cast<uint8_t>(value < 0     ? 0
                                                            : value > 255 ? 255
                                                                          : value);
            }
        }
    }
    return picture;
}

std::filesystem::path TempDir() {
    static const std::filesystem::path dir = testsupport::MakeTempFolderUntilExit(
        std::filesystem::temp_directory_path(), "varnel-tests");
    return dir;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path EncodeWithCjpeg(const Rgb& picture, const std::string& options,
                                      const std::string& name) {
    const std::filesystem::path ppm = TempDir() / (name + ".ppm");
    const std::filesystem::path jpeg = TempDir() / (name + ".jpg");
    WritePpm(ppm, picture);
    const std::string command =
        "cjpeg " + options + " -outfile '" + jpeg.string() + "' '" + ppm.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return jpeg;
}

bool DecodeWithDjpeg(const std::filesystem::path& jpeg, Rgb* out) {
    const std::filesystem::path pnm = jpeg.string() + ".pnm";
    const std::string command =
        "djpeg -dct int -nosmooth -pnm -outfile '" + pnm.string() + "' '" + jpeg.string() + "'";
    if (std::system(command.c_str()) != 0) return false;
    return ReadPnm(pnm, out);
}

}  // namespace testfiles
