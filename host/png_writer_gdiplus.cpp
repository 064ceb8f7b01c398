// Writing a PNG file through GDI+, the system's image encoders.
#include <windows.h>
// GDI+'s headers want IStream and friends first.
#include <objidl.h>
#include <gdiplus.h>

#include "png_writer.h"
#include "text.h"

namespace {

// The PNG encoder among GDI+'s built-in encoders.
const CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Makes a GDI+ bitmap of the pixels and hands it to save, with GDI+ started around it. False,
// with the reason, when the bitmap cannot be made or save fails.
template <typename Save>
bool SaveAsPng(int width, int height, const std::vector<uint32_t>& pixels, const Save& save,
               std::string* error) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        *error = "nothing to write";
        return false;
    }
    // 24 bits per pixel, blue-green-red, rows padded to four bytes: no alpha channel reaches the
    // file.
    const int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> bgr(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        BYTE* row = bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                                    static_cast<size_t>(x)];
            row[x * 3 + 0] = static_cast<BYTE>(pixel);
            row[x * 3 + 1] = static_cast<BYTE>(pixel >> 8);
            row[x * 3 + 2] = static_cast<BYTE>(pixel >> 16);
        }
    }

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        *error = "cannot start GDI+";
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    Gdiplus::GpStatus status = Gdiplus::DllExports::GdipCreateBitmapFromScan0(
        width, height, stride, PixelFormat24bppRGB, bgr.data(), &bitmap);
    if (status == Gdiplus::Ok) {
        status = save(bitmap);
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    Gdiplus::GdiplusShutdown(token);
    if (status != Gdiplus::Ok) {
        *error = "GDI+ status " + std::to_string(status);
        return false;
    }
    return true;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
              std::string* error) {
    WideString wide_path;
    if (!Utf8ToWide(path, &wide_path)) {
        *error = "the PNG file's name is not valid UTF-8";
        return false;
    }
    auto save = [&](Gdiplus::GpBitmap* bitmap) {
        return Gdiplus::DllExports::GdipSaveImageToFile(bitmap, wide_path.c_str(), &kPngEncoder,
                                                        nullptr);
    };
    if (!SaveAsPng(width, height, pixels, save, error)) {
        if (*error != "nothing to write") *error = "cannot write " + path + " (" + *error + ")";
        return false;
    }
    return true;
}

bool EncodePng(int width, int height, const std::vector<uint32_t>& pixels,
               std::vector<uint8_t>* png, std::string* error) {
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) {
        *error = "cannot make a stream for the PNG file";
        return false;
    }
    auto save = [&](Gdiplus::GpBitmap* bitmap) {
        return Gdiplus::DllExports::GdipSaveImageToStream(bitmap, stream, &kPngEncoder, nullptr);
    };
    bool ok = SaveAsPng(width, height, pixels, save, error);
    if (ok) {
        // The stream's memory block may be larger than what was written into it.
        STATSTG stat = {};
        HGLOBAL memory = nullptr;
        ok = stream->Stat(&stat, STATFLAG_NONAME) == S_OK &&
             GetHGlobalFromStream(stream, &memory) == S_OK;
        const void* bytes = ok ? GlobalLock(memory) : nullptr;
        if (bytes != nullptr) {
            const auto* first = static_cast<const uint8_t*>(bytes);
            png->assign(first, first + static_cast<size_t>(stat.cbSize.QuadPart));
            GlobalUnlock(memory);
        } else {
            ok = false;
            *error = "cannot read the PNG file back from its stream";
        }
    } else {
        *error = "cannot encode the PNG file (" + *error + ")";
    }
    stream->Release();
    return ok;
}
