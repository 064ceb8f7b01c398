// The signatures of the formats that are most often mistaken for JPEG, checked in table order;
// then text, for the web page or note saved under a picture's name.
#include "file_kind.h"

#include <cstring>
#include <initializer_list>

namespace varnel {

namespace {

struct Signature {
    FileKind kind;
    int32_t offset;
    const char* bytes;
    int32_t length;
};

// Fixed bytes at a fixed place. The bitmap, the ISO media formats (HEIF, AVIF) and Netpbm need
// more than one run of bytes and are checked in FindFileKind.
const Signature kSignatures[] = {
    {FileKind::kJpeg, 0, "\xFF\xD8\xFF", 3},
    {FileKind::kPng, 0, "\x89PNG\r\n\x1A\n", 8},
    {FileKind::kGif, 0, "GIF87a", 6},
    {FileKind::kGif, 0, "GIF89a", 6},
    {FileKind::kTiff, 0, "II*\0", 4},
    {FileKind::kTiff, 0, "MM\0*", 4},
    {FileKind::kJpeg2000, 0, "\0\0\0\x0CjP  \r\n\x87\n", 12},
    {FileKind::kJpeg2000, 0, "\xFF\x4F\xFF\x51", 4},
    {FileKind::kJpegXl, 0, "\0\0\0\x0CJXL \r\n\x87\n", 12},
    {FileKind::kJpegXl, 0, "\xFF\x0A", 2},
    {FileKind::kPsd, 0, "8BPS", 4},
    {FileKind::kPdf, 0, "%PDF-", 5},
};

struct Brand {
    const char* name;
    FileKind kind;
};

// Major brands of the "ftyp" box of ISO base media files that hold still pictures.
const Brand kBrands[] = {
    {"avif", FileKind::kAvif}, {"avis", FileKind::kAvif}, {"heic", FileKind::kHeif},
    {"heix", FileKind::kHeif}, {"hevc", FileKind::kHeif}, {"hevx", FileKind::kHeif},
    {"heim", FileKind::kHeif}, {"heis", FileKind::kHeif}, {"mif1", FileKind::kHeif},
    {"msf1", FileKind::kHeif},
};

const struct {
    FileKind kind;
    const char* name;
} kNames[] = {
    {FileKind::kJpeg, "a JPEG file"},
    {FileKind::kEmpty, "an empty file"},
    {FileKind::kPng, "a PNG file"},
    {FileKind::kGif, "a GIF file"},
    {FileKind::kBmp, "a Windows bitmap file"},
    {FileKind::kTiff, "a TIFF file"},
    {FileKind::kWebp, "a WebP file"},
    {FileKind::kHeif, "a HEIF file (HEIC)"},
    {FileKind::kAvif, "an AVIF file"},
    {FileKind::kJpeg2000, "a JPEG 2000 file"},
    {FileKind::kJpegXl, "a JPEG XL file"},
    {FileKind::kPsd, "a Photoshop file"},
    {FileKind::kNetpbm, "a Netpbm file (PBM, PGM or PPM)"},
    {FileKind::kPdf, "a PDF document"},
    {FileKind::kHtml, "an HTML page"},
    {FileKind::kSvg, "an SVG drawing"},
    {FileKind::kText, "a text file"},
};

bool Has(const uint8_t* image, int32_t size, int32_t offset, const char* bytes, int32_t length) {
    return size >= offset + length && std::memcmp(image + offset, bytes, length) == 0;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// "BM" and one of the information header sizes that bitmap files use (12 for the OS/2 core
// header up to 124 for the fifth version); a file cut inside its headers counts on "BM" alone.
bool IsBitmap(const uint8_t* image, int32_t size) {
    if (!Has(image, size, 0, "BM", 2)) return false;
    if (size < 18) return true;
    const uint32_t header = Le32(image + 14);
    for (uint32_t known : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        if (header == known) return true;
    }
    return false;
}

// "P1" to "P6" followed by white space: the Netpbm formats' magic numbers.
bool IsNetpbm(const uint8_t* image, int32_t size) {
    if (size < 3 || image[0] != 'P' || image[1] < '1' || image[1] > '6') return false;
    const uint8_t next = image[2];
    return next == ' ' || next == '\t' || next == '\n' || next == '\r';
}

FileKind IsoMediaKind(const uint8_t* image, int32_t size) {
    if (!Has(image, size, 4, "ftyp", 4) || size < 12) return FileKind::kUnknown;
    for (const Brand& brand : kBrands) {
        if (std::memcmp(image + 8, brand.name, 4) == 0) return brand.kind;
    }
    return FileKind::kUnknown;
}

// Length of the UTF-8 sequence that starts at p, or 0 when it is not a valid one (over-long
// forms and surrogates are let through: the question is only whether this reads as text). A
// sequence cut by the end of the bytes looked at counts as valid.
int32_t Utf8Length(const uint8_t* p, int32_t left) {
    const uint8_t lead = p[0];
    int32_t length = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (length == 0) return 0;
    for (int32_t i = 1; i < length && i < left; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

// Printable UTF-8 and white space only: no NUL or other control byte, and never 0xFF, which
// every JPEG marker starts with.
bool IsText(const uint8_t* image, int32_t size) {
    for (int32_t i = 0; i < size;) {
        const uint8_t c = image[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return false;
        if (c == 0x7F) return false;
        const int32_t length = Utf8Length(image + i, size - i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Whether `word` (lower case) occurs in the text, in any letter case.
bool Mentions(const uint8_t* text, int32_t size, const char* word) {
    const int32_t length = static_cast<int32_t>(std::strlen(word));
    for (int32_t i = 0; i + length <= size; ++i) {
        int32_t k = 0;
        while (k < length) {
            uint8_t c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
            if (c != static_cast<uint8_t>(word[k])) break;
            ++k;
        }
        if (k == length) return true;
    }
    return false;
}

}  // namespace

FileKind FindFileKind(const uint8_t* image, int32_t size) {
    if (image == nullptr || size <= 0) return FileKind::kEmpty;
    for (const Signature& signature : kSignatures) {
        if (Has(image, size, signature.offset, signature.bytes, signature.length))
            return signature.kind;
    }
    if (Has(image, size, 0, "RIFF", 4) && Has(image, size, 8, "WEBP", 4)) return FileKind::kWebp;
    if (IsBitmap(image, size)) return FileKind::kBmp;
    const FileKind iso = IsoMediaKind(image, size);
    if (iso != FileKind::kUnknown) return iso;
    if (IsNetpbm(image, size)) return FileKind::kNetpbm;
    const int32_t looked_at = size < 4096 ? size : 4096;
    if (!IsText(image, looked_at)) return FileKind::kUnknown;
    if (Mentions(image, looked_at, "<html") || Mentions(image, looked_at, "<!doctype html"))
        return FileKind::kHtml;
    if (Mentions(image, looked_at, "<svg")) return FileKind::kSvg;
    return FileKind::kText;
}

const char* FileKindName(FileKind kind) {
    for (const auto& entry : kNames) {
        if (entry.kind == kind) return entry.name;
    }
    return "";
}

}  // namespace varnel
