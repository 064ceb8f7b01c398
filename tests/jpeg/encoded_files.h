// Real JPEG files for the tests, made at test time by libjpeg-turbo's cjpeg from synthetic
// pictures, and libjpeg-turbo's own decode of them (djpeg) as a reference to compare with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testfiles {

struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // RGB, top-down
};

// A picture with smooth gradients, edges and some noise, the same for the same arguments.
Rgb MakePicture(int width, int height, uint32_t seed);

// The process's folder for the files: one of the test support library's temporary folders, made
// on first use and removed with what is in it when the process exits.
std::filesystem::path TempDir();
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Encodes the picture with cjpeg and the given options (for example "-sample 2x2 -quality 90"
// or "-grayscale"). Returns the path of the JPEG file, or an empty path when cjpeg failed.
std::filesystem::path EncodeWithCjpeg(const Rgb& picture, const std::string& options,
                                      const std::string& name);

// Decodes with djpeg, replication upsampling and the accurate integer IDCT, to RGB.
bool DecodeWithDjpeg(const std::filesystem::path& jpeg, Rgb* out);

}  // namespace testfiles
