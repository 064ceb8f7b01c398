// varnel-decode: decodes a JPEG file with LoadJpeg and writes the bitmap it returns as a
// Windows bitmap file, or prints what the header parse of a JPEG file found. File names are
// UTF-8 inside; on Windows they come from the UTF-16 command line and reach the files through the
// wide-character calls, so that any name works.
#include <windows.h>
#ifdef _WIN32
// After windows.h, which it builds on.
#include <shellapi.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg_decoder.h"
#include "varnel.h"

namespace {

const char kUsage[] =
    "Usage: varnel-decode IN.jpg OUT.bmp\n"
    "       varnel-decode --info IN.jpg\n"
    "\n"
    "Decodes a baseline JPEG file with varnel's LoadJpeg and writes the bitmap it returns as a\n"
    "Windows bitmap file: the 14-byte file header, the 40-byte BITMAPINFOHEADER as LoadJpeg\n"
    "filled it (24 bits per pixel, bottom-up rows), then the bits as returned.\n"
    "\n"
    "Options:\n"
    "  --info IN.jpg  print what the header parse found: size, precision, components with\n"
    "                 their sampling factors and table selectors, restart interval, JFIF or\n"
    "                 JFXX fields, comment, and the segments seen\n"
    "  -h, --help     show this text\n"
    "\n"
    "Exit status: 0 on success, 1 when the file cannot be read or decoded, 2 on bad usage.\n";

std::u16string ToUtf16(const char* text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0) return std::u16string();
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, reinterpret_cast<LPWSTR>(wide.data()), units);
    wide.pop_back();  // the terminator that the conversion counted
    return wide;
}

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
    const std::u16string wide = ToUtf16(path.c_str());
    return std::wstring(wide.begin(), wide.end());
}
#endif

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wide_mode(mode, mode + std::strlen(mode));
    return _wfopen(WidePath(path).c_str(), wide_mode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

int RenameFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return _wrename(WidePath(from).c_str(), WidePath(to).c_str());
#else
    return std::rename(from.c_str(), to.c_str());
#endif
}

void RemoveFile(const std::string& path) {
#ifdef _WIN32
    _wremove(WidePath(path).c_str());
#else
    std::remove(path.c_str());
#endif
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>* bytes) {
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) return false;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

void PutLe16(std::vector<uint8_t>* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

// Writes the file under a temporary name and renames it, so that a failure never leaves a
// partial bitmap behind.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& head,
                         const uint8_t* bits, size_t bits_size) {
    const std::string temporary = path + ".partial";
    std::FILE* file = OpenFile(temporary, "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size() &&
              (bits_size == 0 || std::fwrite(bits, 1, bits_size, file) == bits_size);
    ok = (std::fclose(file) == 0) && ok;
    if (ok) ok = RenameFile(temporary, path) == 0;
    if (!ok) RemoveFile(temporary);
    return ok;
}

int Decode(const char* in_path, const char* out_path) {
    const std::u16string path = ToUtf16(in_path);
    POINT size{0, 0};
    HBITMAP bitmap = LoadJpeg(nullptr, reinterpret_cast<const WCHAR*>(path.c_str()), &size);
    if (bitmap == nullptr) {
        std::FILE* probe = OpenFile(in_path, "rb");
        if (probe == nullptr) {
            std::fprintf(stderr, "varnel-decode: cannot open '%s': %s\n", in_path,
                         std::strerror(errno));
        } else {
            std::fclose(probe);
            std::fprintf(stderr,
                         "varnel-decode: cannot decode '%s': not a baseline JPEG picture "
                         "that varnel reads, or damaged\n",
                         in_path);
        }
        return 1;
    }

    DIBSECTION section{};
    if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section)) {
        std::fprintf(stderr, "varnel-decode: cannot read the bitmap of '%s'\n", in_path);
        DeleteObject(bitmap);
        return 1;
    }
    const BITMAPINFOHEADER& info = section.dsBmih;
    const size_t stride = static_cast<size_t>(section.dsBm.bmWidthBytes);
    const size_t bits_size = stride * static_cast<size_t>(info.biHeight);

    std::vector<uint8_t> head;
    head.reserve(54);
    PutLe16(&head, 0x4D42);  // "BM"
    PutLe32(&head, static_cast<uint32_t>(14 + 40 + bits_size));
    PutLe16(&head, 0);
    PutLe16(&head, 0);
    PutLe32(&head, 14 + 40);
    const auto* header_bytes = reinterpret_cast<const uint8_t*>(&info);
    head.insert(head.end(), header_bytes, header_bytes + sizeof(BITMAPINFOHEADER));

    const bool written = WriteFileAtomically(
        out_path, head, static_cast<const uint8_t*>(section.dsBm.bmBits), bits_size);
    DeleteObject(bitmap);
    if (!written) {
        std::fprintf(stderr, "varnel-decode: cannot write '%s': %s\n", out_path,
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s: %ld x %ld -> %s\n", in_path, static_cast<long>(size.x),
                static_cast<long>(size.y), out_path);
    return 0;
}

void PrintSegments(int32_t flags) {
    static const struct {
        int32_t bit;
        const char* name;
    } kSegments[] = {{varnel::kSegmentDHT, "DHT"},
                     {varnel::kSegmentDQT, "DQT"},
                     {varnel::kSegmentJFIF, "JFIF APP0"},
                     {varnel::kSegmentCOM, "COM"},
                     {varnel::kSegmentSOS, "SOS"}};
    std::printf("segments seen:");
    bool any = false;
    for (const auto& segment : kSegments) {
        if (flags & segment.bit) {
            std::printf(" %s", segment.name);
            any = true;
        }
    }
    std::printf("%s (flags 0x%02X)\n", any ? "" : " none", static_cast<unsigned>(flags));
}

int Info(const char* in_path) {
    std::vector<uint8_t> image;
    if (!ReadWholeFile(in_path, &image)) {
        std::fprintf(stderr, "varnel-decode: cannot open '%s': %s\n", in_path,
                     std::strerror(errno));
        return 1;
    }
    if (image.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "varnel-decode: '%s' is too large\n", in_path);
        return 1;
    }
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    int32_t consumed = 0;
    decoder.consumed = &consumed;
    varnel::Attach(&decoder, image.data(), static_cast<int32_t>(image.size()));

    std::printf("file: %s (%zu bytes)\n", in_path, image.size());
    std::printf("size: %d x %d\n", decoder.width, decoder.height);
    std::printf("precision: %d bits\n", decoder.precision);
    std::printf("components: %d\n", decoder.component_count);
    const int32_t listed =
        decoder.component_count == 1 || decoder.component_count == 3 ? decoder.component_count : 0;
    for (int32_t i = 0; i < listed; ++i) {
        const varnel::FrameComponent& frame = decoder.frame_components[i];
        std::printf("  component %d: id %u, sampling %d x %d, quantisation table %d", i, frame.id,
                    frame.h, frame.v, frame.tq);
        if (i < decoder.scan_component_count && i < 3) {
            const varnel::ScanComponent& scan = decoder.scan_components[i];
            std::printf(", scan selector %u, DC table %d, AC table %d", scan.cs, scan.td, scan.ta);
        }
        std::printf("\n");
    }
    std::printf("scan: %u components, Ss %u, Se %u, Ah %u, Al %u\n", decoder.scan_component_count,
                decoder.ss, decoder.se, decoder.ah, decoder.al);
    std::printf("restart interval: %d\n", decoder.restart_interval);
    if (decoder.app0_kind == 1) {
        std::printf("JFIF: version %u.%02u, density units %d, density %d x %d, thumbnail %d x %d\n",
                    decoder.jfif_major, decoder.jfif_minor, decoder.density_units,
                    decoder.x_density, decoder.y_density, decoder.thumb_width,
                    decoder.thumb_height);
    } else if (decoder.app0_kind == 2) {
        std::printf("JFXX: extension code 0x%02X\n", static_cast<unsigned>(decoder.jfxx_code));
    } else {
        std::printf("APP0: none recognised\n");
    }
    if (decoder.comment != nullptr) {
        std::printf("comment: \"");
        for (const char* c = decoder.comment; *c != 0; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
                std::putchar(byte);
            } else {
                std::printf("\\x%02X", byte);
            }
        }
        std::printf("\"\n");
    } else {
        std::printf("comment: none\n");
    }
    PrintSegments(decoder.segment_flags);
    std::printf("decodable: %s\n", varnel::IsDecodable(&decoder) ? "yes" : "no");
    varnel::DestroyDecoder(&decoder);
    return 0;
}

// The arguments in UTF-8.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i) {
            const int length =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string argument(static_cast<size_t>(length > 0 ? length : 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), length, nullptr, nullptr);
            argument.pop_back();  // the terminator
            arguments.push_back(argument);
        }
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);  // names are printed in UTF-8
#endif
    const std::vector<std::string> arguments = Arguments(argc, argv);
    const size_t count = arguments.size();
    if (count == 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (count == 3 && arguments[1] == "--info") return Info(arguments[2].c_str());
    if (count == 3 && arguments[1][0] != '-' && arguments[2][0] != '-')
        return Decode(arguments[1].c_str(), arguments[2].c_str());
    std::fputs(kUsage, stderr);
    return 2;
}
