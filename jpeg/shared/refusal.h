// Why the decode gate refuses a file, in words for the person who chose the picture. It reads
// the record that the header parse left (after Attach, before Decode) and names the first of the
// gate's conditions that fails, or the unsupported coding process behind it.
#pragma once

#include <string>

#include "jpeg_decoder.h"

namespace varnel {

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
std::string DescribeRefusal(const JpegDecoder* decoder);

// The same for a whole file image: parses its headers with a decoder of its own. Empty when
// the gate admits the file.
std::string DescribeRefusalOfImage(const uint8_t* image, int32_t size);

}  // namespace varnel
