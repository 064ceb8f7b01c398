#include "png_writer.h"

#include <png.h>

#include <cstring>

namespace {

bool ToRgb(int width, int height, const std::vector<uint32_t>& pixels, std::vector<uint8_t>* rgb,
           std::string* error) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        *error = "nothing to write";
        return false;
    }
    rgb->resize(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        (*rgb)[i * 3 + 0] = static_cast<uint8_t>(pixels[i] >> 16);
        (*rgb)[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        (*rgb)[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
    }
    return true;
}

png_image ImageOf(int width, int height) {
    png_image image;
    memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    return image;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
              std::string* error) {
    std::vector<uint8_t> rgb;
    if (!ToRgb(width, height, pixels, &rgb, error)) return false;
    png_image image = ImageOf(width, height);
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) {
        *error = std::string("cannot write ") + path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

bool EncodePng(int width, int height, const std::vector<uint32_t>& pixels,
               std::vector<uint8_t>* png, std::string* error) {
    std::vector<uint8_t> rgb;
    if (!ToRgb(width, height, pixels, &rgb, error)) return false;
    // First the size the encoder needs, then the encoding.
    png_image image = ImageOf(width, height);
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
        png->resize(size);
        if (png_image_write_to_memory(&image, png->data(), &size, 0, rgb.data(), 0, nullptr)) {
            png->resize(size);
            return true;
        }
    }
    *error = std::string("cannot encode the PNG file: ") + image.message;
    png_image_free(&image);
    return false;
}
