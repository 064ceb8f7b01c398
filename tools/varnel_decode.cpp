// varnel-decode: decodes a JPEG file as LoadJpeg does (the same loader and kernels, through the
// loader's internal entry, which also hands out the decode's notes) and writes the bitmap as a
// Windows bitmap, PNG or PPM file, or prints what the header parse of a JPEG file found. When the
// decode gate refuses a file, it says why; when the picture data ends early, it warns. File names
// are UTF-8 inside; on Windows they come from the UTF-16 command line and reach the files through
// the wide-character calls, so that any name works.
#include <windows.h>
#ifdef _WIN32
// After windows.h, which it builds on.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decode_notes.h"
#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"
#include "output_file.h"
#include "png_writer.h"
#include "refusal.h"
#include "varnel.h"

namespace {

const char kUsage[] =
    "Usage: varnel-decode [--format bmp|png|ppm] IN.jpg OUT\n"
    "       varnel-decode --info IN.jpg\n"
    "       varnel-decode --version\n"
    "\n"
    "Decodes a baseline JPEG file as varnel's LoadJpeg does and writes the picture in the format\n"
    "that OUT's extension names:\n"
    "  .bmp  the bitmap exactly as LoadJpeg returns it: the 14-byte file header, the 40-byte\n"
    "        BITMAPINFOHEADER as LoadJpeg filled it (24 bits per pixel, bottom-up rows), the bits\n"
    "  .png  8-bit RGB PNG\n"
    "  .ppm  binary PPM (P6), 8-bit RGB\n"
    "OUT '-' writes to standard output, as a bitmap unless --format says otherwise. A regular\n"
    "file is written under a temporary name beside it and renamed over it, so a failure leaves\n"
    "no file behind (or the old one), and an existing file keeps its permissions. A symbolic\n"
    "link is followed and its target written; a FIFO or device (such as /dev/stdout) is written\n"
    "in place. OUT naming the input file itself (under any name or link) is refused.\n"
    "\n"
    "Options:\n"
    "  --format FORMAT  bmp, png or ppm, whatever OUT's extension (also --format=FORMAT)\n"
    "  --info IN.jpg    print what the header parse found: size, precision, components with\n"
    "                   their sampling factors and table selectors, restart interval, JFIF or\n"
    "                   JFXX fields, comment, the segments seen, and whether varnel decodes\n"
    "                   the file, or why not\n"
    "  --version        print the version of the varnel library installed with this program\n"
    "  -h, --help       show this text\n"
    "  --               the names that follow may start with '-'\n"
    "\n"
    "A file that varnel does not decode is refused with one line on stderr that says why and\n"
    "what to do: another kind of file (PNG, GIF, bitmap, TIFF, WebP, HEIF, PDF, text, ...), or a\n"
    "JPEG of a kind varnel does not read (progressive, arithmetic-coded, CMYK, ...). A picture\n"
    "whose data ends early (a file cut short) or is interrupted by a marker still decodes, as\n"
    "LoadJpeg decodes it; a warning on stderr says so and from which rows on.\n"
    "\n"
    "Exit status: 0 on success (warnings included), 1 when the file cannot be read, decoded or\n"
    "written, and for --info of a file that varnel does not decode; 2 on bad usage (an unknown\n"
    "option, a missing argument, an unknown format or extension, OUT naming the input file).\n";

std::u16string ToUtf16(const char* text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0) return std::u16string();
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, reinterpret_cast<LPWSTR>(wide.data()), units);
    wide.pop_back();  // the terminator that the conversion counted
    return wide;
}

std::string ToUtf8(const WCHAR* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back();  // the terminator
    return narrow;
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

enum class Format { kBmp, kPng, kPpm };

struct FormatName {
    const char* name;
    Format format;
};
const FormatName kFormats[] = {{"bmp", Format::kBmp}, {"png", Format::kPng}, {"ppm", Format::kPpm}};

bool ParseFormat(const std::string& name, Format* format) {
    for (const FormatName& known : kFormats) {
        if (name == known.name) {
            *format = known.format;
            return true;
        }
    }
    return false;
}

// The format that the output name's extension names, in any letter case.
bool FormatOfName(const std::string& path, Format* format) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ParseFormat(extension, format);
}

// One line on stderr for a command line that cannot be carried out: the problem, and where the
// whole usage is.
int UsageError(const std::string& problem) {
    std::fprintf(stderr, "varnel-decode: %s; see 'varnel-decode --help'\n", problem.c_str());
    return 2;
}

// Why LoadJpeg gave no bitmap for a file that could be opened: the decode gate's reason, from
// a header parse of its own.
std::string RefusalOf(const std::vector<uint8_t>& image) {
    if (image.size() > 0x7FFFFFFF) return "the file is larger than 2 GiB";
    const std::string words =
        varnel::DescribeRefusalOfImage(image.data(), static_cast<int32_t>(image.size()));
    return words.empty() ? "the decoder ran out of memory" : words;
}

// The bitmap's pixel (x, y), counted from the top-left, as 0x00RRGGBB.
uint32_t PixelAt(const uint8_t* bits, size_t stride, int32_t height, int32_t x, int32_t y) {
    const uint8_t* pixel =
        bits + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
    return uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
}

int Decode(const char* in_path, const std::string& out_path, Format format) {
    const std::u16string path = ToUtf16(in_path);
    POINT size{0, 0};
    varnel::DecodeNotes notes;
    HBITMAP bitmap =
        varnel::LoadJpegWithKernels(nullptr, reinterpret_cast<const WCHAR*>(path.c_str()), &size,
                                    varnel::Kernels::Fast, &notes);
    if (bitmap == nullptr) {
        std::vector<uint8_t> image;
        if (!ReadWholeFile(in_path, &image)) {
            std::fprintf(stderr, "varnel-decode: cannot open '%s': %s\n", in_path,
                         std::strerror(errno));
        } else {
            std::fprintf(stderr, "varnel-decode: cannot decode '%s': %s\n", in_path,
                         RefusalOf(image).c_str());
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
    const int32_t width = info.biWidth;
    const int32_t height = info.biHeight;
    const size_t stride = static_cast<size_t>(section.dsBm.bmWidthBytes);
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);

    OutputBytes output;
    std::string error;
    bool encoded = true;
    switch (format) {
        case Format::kBmp: {
            output.bits = bits;
            output.bits_size = stride * static_cast<size_t>(height);
            PutLe16(&output.head, 0x4D42);  // "BM"
            PutLe32(&output.head, static_cast<uint32_t>(14 + 40 + output.bits_size));
            PutLe16(&output.head, 0);
            PutLe16(&output.head, 0);
            PutLe32(&output.head, 14 + 40);
            const auto* header_bytes = reinterpret_cast<const uint8_t*>(&info);
            output.head.insert(output.head.end(), header_bytes,
                               header_bytes + sizeof(BITMAPINFOHEADER));
            break;
        }
        case Format::kPng: {
            std::vector<uint32_t> pixels;
            pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x)
                    pixels.push_back(PixelAt(bits, stride, height, x, y));
            }
            encoded = EncodePng(width, height, pixels, &output.head, &error);
            break;
        }
        case Format::kPpm: {
            const std::string header =
                "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
            output.head.assign(header.begin(), header.end());
            output.head.reserve(header.size() +
                                static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint32_t pixel = PixelAt(bits, stride, height, x, y);
                    output.head.push_back(static_cast<uint8_t>(pixel >> 16));
                    output.head.push_back(static_cast<uint8_t>(pixel >> 8));
                    output.head.push_back(static_cast<uint8_t>(pixel));
                }
            }
            break;
        }
    }
    const bool written = encoded && WriteOutputFile(out_path, output, &error);
    DeleteObject(bitmap);
    if (!written) {
        std::fprintf(stderr, "varnel-decode: cannot write '%s': %s\n", out_path.c_str(),
                     error.c_str());
        return 1;
    }
    const std::string warning = varnel::DescribeDecodeNotes(notes);
    if (!warning.empty())
        std::fprintf(stderr, "varnel-decode: warning: '%s': %s\n", in_path, warning.c_str());
    if (out_path != "-") {
        std::printf("%s: %ld x %ld -> %s\n", in_path, static_cast<long>(size.x),
                    static_cast<long>(size.y), out_path.c_str());
    }
    return 0;
}

// The version of the varnel library that this program runs with, from its version resource.
int Version() {
#ifdef _WIN32
    // The decode runs the loader built into this program, so nothing may have loaded the DLL.
    HMODULE library = GetModuleHandleW(L"" VARNEL_LIBRARY_FILE);
    if (library == nullptr) library = LoadLibraryW(L"" VARNEL_LIBRARY_FILE);
    const WCHAR kRoot[] = L"\\";
#else
    HMODULE library = GetModuleHandleW(u"" VARNEL_LIBRARY_FILE);
    const WCHAR kRoot[] = u"\\";
#endif
    WCHAR path[MAX_PATH] = {};
    if (library == nullptr || GetModuleFileNameW(library, path, MAX_PATH) == 0) {
        std::fprintf(stderr, "varnel-decode: cannot find the varnel library\n");
        return 1;
    }
    DWORD handle = 0;
    const DWORD block_size = GetFileVersionInfoSizeW(path, &handle);
    std::vector<uint8_t> block(block_size);
    void* value = nullptr;
    UINT length = 0;
    if (block_size == 0 || !GetFileVersionInfoW(path, 0, block_size, block.data()) ||
        !VerQueryValueW(block.data(), kRoot, &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        std::fprintf(stderr, "varnel-decode: '%s' has no version resource\n", ToUtf8(path).c_str());
        return 1;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("varnel %lu.%lu.%lu.%lu (%s)\n",
                static_cast<unsigned long>(fixed->dwFileVersionMS >> 16),
                static_cast<unsigned long>(fixed->dwFileVersionMS & 0xFFFF),
                static_cast<unsigned long>(fixed->dwFileVersionLS >> 16),
                static_cast<unsigned long>(fixed->dwFileVersionLS & 0xFFFF), ToUtf8(path).c_str());
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
    const bool decodable = varnel::IsDecodable(&decoder);
    if (decodable) {
        std::printf("decodable: yes\n");
    } else {
        const std::string words = varnel::DescribeRefusalOfParse(
            &decoder, image.data(), static_cast<int32_t>(image.size()));
        std::printf("decodable: no: %s\n", words.c_str());
    }
    varnel::DestroyDecoder(&decoder);
    return decodable ? 0 : 1;
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
    bool help = false;
    bool version = false;
    bool info = false;
    bool format_given = false;
    bool names_only = false;
    Format format = Format::kBmp;
    std::vector<std::string> names;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (names_only || argument.empty() || argument[0] != '-' || argument == "-") {
            names.push_back(argument);
        } else if (argument == "--") {
            names_only = true;
        } else if (argument == "-h" || argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "--format" || argument.rfind("--format=", 0) == 0) {
            std::string value;
            if (argument == "--format") {
                if (i + 1 >= arguments.size())
                    return UsageError("--format needs a value: bmp, png or ppm");
                value = arguments[++i];
            } else {
                value = argument.substr(std::strlen("--format="));
            }
            if (format_given) return UsageError("--format is given twice");
            format_given = true;
            if (!ParseFormat(value, &format))
                return UsageError("unknown format '" + value + "': use bmp, png or ppm");
        } else {
            return UsageError("unknown option '" + argument + "'");
        }
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (version) {
        if (info || format_given || !names.empty())
            return UsageError("--version takes no other arguments");
        return Version();
    }
    if (info) {
        if (format_given) return UsageError("--info writes no picture, so --format does not apply");
        if (names.size() != 1) {
            return UsageError(names.empty()
                                  ? "--info needs the JPEG file to read"
                                  : "--info reads one file, not " + std::to_string(names.size()));
        }
        return Info(names[0].c_str());
    }
    if (names.empty()) return UsageError("give the JPEG file to read and the file to write");
    if (names.size() == 1)
        return UsageError("give the file to write after '" + names[0] +
                          "' (or - for standard output)");
    if (names.size() > 2)
        return UsageError("too many names: give IN.jpg and OUT only (" +
                          std::to_string(names.size()) + " given)");
    if (names[0] == "-") return UsageError("IN cannot be '-': give the JPEG file's name");
    if (names[1] != "-" && IsSameFile(names[0], names[1])) {
        return UsageError("'" + names[1] + "' is the input file '" + names[0] +
                          "' itself; writing it would destroy the picture: choose another OUT");
    }
    if (!format_given && names[1] != "-" && !FormatOfName(names[1], &format)) {
        return UsageError("cannot tell the format of '" + names[1] +
                          "' from its extension: name it .bmp, .png or .ppm, or give --format");
    }
    return Decode(names[0].c_str(), names[1], format);
}
