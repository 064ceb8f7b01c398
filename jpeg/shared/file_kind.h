// What a file is when it is not a JPEG, told from its first bytes (the signatures that the other
// picture and document formats start with, or text). The decode gate's reasons are about JPEG
// markers; a PNG or a bitmap named .jpg holds bytes that look like markers by chance, so the
// tools name the file's real kind before they look for a marker-based reason.
#pragma once

#include <cstdint>

namespace varnel {

enum class FileKind {
    kUnknown,  // no known signature
    kJpeg,     // starts with a start-of-image marker and another marker: a JPEG by its first bytes
    kEmpty,
    kPng,
    kGif,
    kBmp,
    kTiff,
    kWebp,
    kHeif,
    kAvif,
    kJpeg2000,
    kJpegXl,
    kPsd,
    kNetpbm,
    kPdf,
    kHtml,
    kSvg,
    kText,
};

// The kind that the first bytes of the image name. Text is named only when every byte looked at
// (up to the first 4096) is printable UTF-8 or white space, which no JPEG's first bytes are.
FileKind FindFileKind(const uint8_t* image, int32_t size);

// The kind's name with its article, as in "a PNG file"; empty for kUnknown.
const char* FileKindName(FileKind kind);

}  // namespace varnel
