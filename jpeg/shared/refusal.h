// Why the decode gate refuses a file, in words for the person who chose the picture. It reads
// the record that the header parse left (after Attach, before Decode) and names the first of the
// gate's conditions that fails, or the unsupported coding process behind it.
#pragma once

#include <string>

#include "file_kind.h"
#include "jpeg_decoder.h"

namespace varnel {

// Who the words are for: varnel-decode, which makes pictures of JPEG files only, or the host of
// the picture item, which shows Windows bitmap files too (a name that does not end in .jpg or
// .jpeg is read as a bitmap).
enum class Audience { kDecoder, kPictureItem };

enum class Refusal {
    kNone,               // the gate lets the file through
    kNotJpeg,            // no SOI marker
    kNoScan,             // no SOS before the data ended
    kNoFrame,            // no frame header at all
    kExtendedFrame,      // SOF1
    kProgressiveFrame,   // SOF2, SOF6
    kLosslessFrame,      // SOF3, SOF7
    kHierarchicalFrame,  // SOF5
    kArithmeticFrame,    // SOF9 to SOF15
    kFourComponents,     // Nf 4: CMYK or YCCK
    kComponentCount,     // Nf other than 1, 3 and 4
    kZeroSampling,       // a sampling factor of 0
    kQuantSelector,      // Tq above 3
    kNoSize,             // X or Y of 0
    kTableSelector,      // a scan's Td or Ta above 2
    kScanHeaderCut,      // the scan header ends with the file
    kNotInterleaved,     // Ns differs from Nf
    kTooLarge,           // a plane or the bitmap would exceed kMaxBlockBytes
    kTableLost,          // a Huffman table could not be allocated
};

// The reason the gate refuses the parsed file, kNone when IsDecodable holds.
Refusal FindRefusal(const JpegDecoder* decoder);

// One line: what is wrong with the file and what to do about it, with the values of the file
// that matter (the frame marker, the counts, the size). Empty for kNone.
std::string DescribeRefusal(const JpegDecoder* decoder, Audience audience = Audience::kDecoder);

// One line for a file that its first bytes show to be of another kind: "a PNG file, not a JPEG:
// convert it to a baseline JPEG". Empty for FileKind::kUnknown and kJpeg.
std::string DescribeOtherKind(FileKind kind, Audience audience);

// Why the gate refuses the parsed file `image`: its real kind when its first bytes name one
// (the marker search finds marker-like bytes in any file), else DescribeRefusal. Empty when
// the gate admits the file, whatever its first bytes (a JPEG after other bytes decodes).
std::string DescribeRefusalOfParse(const JpegDecoder* decoder, const uint8_t* image, int32_t size,
                                   Audience audience = Audience::kDecoder);

// The same for a whole file image: parses its headers with a decoder of its own. Empty when
// the gate admits the file.
std::string DescribeRefusalOfImage(const uint8_t* image, int32_t size,
                                   Audience audience = Audience::kDecoder);

}  // namespace varnel
