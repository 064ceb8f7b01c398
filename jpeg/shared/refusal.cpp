// The decode gate's conditions again, each with the words that explain it. The checks run in
// the gate's order (IsDecodable); the first that fails is the reason, except that a frame of
// another coding process than baseline (T.81 Table B.1), which the parser passes over, is named
// instead of the empty frame it leaves behind. A file of another kind altogether (file_kind.h)
// is named before any of them.
#include "refusal.h"

#include <cstdio>

namespace varnel {

namespace {

bool AnyFrameComponent(const JpegDecoder* decoder, bool (*test)(const FrameComponent&)) {
    for (int32_t i = 0; i < decoder->component_count && i < 3; ++i) {
        if (test(decoder->frame_components[i])) return true;
    }
    return false;
}

struct Check {
    Refusal reason;
    bool (*refuses)(const JpegDecoder* decoder);
};

// In the order of IsDecodable. A row may split one of its conditions into several reasons.
const Check kChecks[] = {
    {Refusal::kNotJpeg, [](const JpegDecoder* d) { return d->soi_found == 0; }},
    {Refusal::kNoScan, [](const JpegDecoder* d) { return (d->segment_flags & kSegmentSOS) == 0; }},
    {Refusal::kNoFrame, [](const JpegDecoder* d) { return d->frame_marker == 0; }},
    {Refusal::kFourComponents, [](const JpegDecoder* d) { return d->component_count == 4; }},
    {Refusal::kComponentCount,
     [](const JpegDecoder* d) { return d->component_count != 1 && d->component_count != 3; }},
    {Refusal::kZeroSampling,
     [](const JpegDecoder* d) {
         return AnyFrameComponent(d, [](const FrameComponent& c) { return c.h < 1 || c.v < 1; });
     }},
    {Refusal::kQuantSelector,
     [](const JpegDecoder* d) {
         return AnyFrameComponent(d, [](const FrameComponent& c) { return c.tq < 0 || c.tq > 3; });
     }},
    {Refusal::kNoSize, [](const JpegDecoder* d) { return d->width < 1 || d->height < 1; }},
    // An incomplete scan header stopped at a selector above 2, or ran out of data.
    {Refusal::kTableSelector,
     [](const JpegDecoder* d) {
         if (d->scan_header_complete) return false;
         for (int32_t j = 0; j < d->scan_component_count && j < 3; ++j) {
             if (d->scan_components[j].td > 2 || d->scan_components[j].ta > 2) return true;
         }
         return false;
     }},
    {Refusal::kScanHeaderCut, [](const JpegDecoder* d) { return d->scan_header_complete == 0; }},
    {Refusal::kNotInterleaved,
     [](const JpegDecoder* d) { return d->scan_component_count != d->component_count; }},
    {Refusal::kTooLarge, [](const JpegDecoder* d) { return !FitsBlockLimit(d); }},
    {Refusal::kTableLost, [](const JpegDecoder* d) { return d->table_lost != 0; }},
};

// The frame markers that the parser does not read, by coding process.
struct FrameKind {
    int32_t marker;
    Refusal reason;
    const char* name;
};

const FrameKind kFrameKinds[] = {
    {0xC1, Refusal::kExtendedFrame, "extended sequential JPEG"},
    {0xC2, Refusal::kProgressiveFrame, "progressive JPEG"},
    {0xC3, Refusal::kLosslessFrame, "lossless JPEG"},
    {0xC5, Refusal::kHierarchicalFrame, "hierarchical JPEG"},
    {0xC6, Refusal::kProgressiveFrame, "hierarchical progressive JPEG"},
    {0xC7, Refusal::kLosslessFrame, "hierarchical lossless JPEG"},
    {0xC9, Refusal::kArithmeticFrame, "arithmetic-coded JPEG"},
    {0xCA, Refusal::kArithmeticFrame, "progressive arithmetic-coded JPEG"},
    {0xCB, Refusal::kArithmeticFrame, "lossless arithmetic-coded JPEG"},
    {0xCD, Refusal::kArithmeticFrame, "hierarchical arithmetic-coded JPEG"},
    {0xCE, Refusal::kArithmeticFrame, "hierarchical progressive arithmetic-coded JPEG"},
    {0xCF, Refusal::kArithmeticFrame, "hierarchical lossless arithmetic-coded JPEG"},
};

const FrameKind* FindFrameKind(int32_t marker) {
    for (const FrameKind& kind : kFrameKinds) {
        if (kind.marker == marker) return &kind;
    }
    return nullptr;
}

const char kReencode[] = "re-encode it as a baseline JPEG";
const char kNotJpegProblem[] = "not a JPEG file (no start-of-image marker)";

struct Wording {
    Refusal reason;
    const char* problem;  // printf format; its arguments are listed in DescribeRefusal
    const char* advice;
};

const Wording kWordings[] = {
    {Refusal::kNotJpeg, kNotJpegProblem, "choose a JPEG file"},
    {Refusal::kNoScan, "no picture data (the file ends before its first scan)",
     "the file is cut short or damaged; copy it again or re-encode it"},
    {Refusal::kNoFrame, "no frame header", kReencode},
    {Refusal::kExtendedFrame, "%s (SOF%d)", kReencode},
    {Refusal::kProgressiveFrame, "%s (SOF%d)", kReencode},
    {Refusal::kLosslessFrame, "%s (SOF%d)", kReencode},
    {Refusal::kHierarchicalFrame, "%s (SOF%d)", kReencode},
    {Refusal::kArithmeticFrame, "%s (SOF%d)", kReencode},
    {Refusal::kFourComponents, "four colour components (CMYK or YCCK)",
     "re-encode it as a baseline RGB or greyscale JPEG"},
    {Refusal::kComponentCount, "%d colour components (only 1 or 3 are read)", kReencode},
    {Refusal::kZeroSampling, "a sampling factor of 0 in the frame header",
     "the file is damaged; re-encode it as a baseline JPEG"},
    {Refusal::kQuantSelector, "a quantisation table selector out of range (0 to 3)",
     "the file is damaged; re-encode it as a baseline JPEG"},
    {Refusal::kNoSize, "a width or height of 0 in the frame header (%d x %d)", kReencode},
    {Refusal::kTableSelector, "a Huffman table selector out of range in the scan (0 to 2 are read)",
     kReencode},
    {Refusal::kScanHeaderCut, "the scan header is cut short",
     "the file is cut short or damaged; copy it again or re-encode it"},
    {Refusal::kNotInterleaved,
     "a non-interleaved baseline JPEG: its first scan is not interleaved (it holds %d of the %d "
     "components, and only a first scan that holds them all is read)",
     "re-encode it with all components interleaved in one scan, as most encoders write a "
     "baseline JPEG by default (for example cjpeg without -scans)"},
    {Refusal::kTooLarge, "picture too large (%d x %d; its bitmap would exceed 2 GiB)",
     "scale it down"},
    {Refusal::kTableLost, "out of memory while reading its Huffman tables",
     "close other programs and try again"},
};

}  // namespace

Refusal FindRefusal(const JpegDecoder* decoder) {
    Refusal reason = Refusal::kNone;
    for (const Check& check : kChecks) {
        if (check.refuses(decoder)) {
            reason = check.reason;
            break;
        }
    }
    // Another coding process leaves no frame (or only an earlier SOF0's): name the process.
    if (reason != Refusal::kNone && reason != Refusal::kNotJpeg) {
        if (const FrameKind* kind = FindFrameKind(decoder->frame_marker)) return kind->reason;
    }
    return reason;
}

std::string DescribeRefusal(const JpegDecoder* decoder, Audience audience) {
    const Refusal reason = FindRefusal(decoder);
    // The picture item shows bitmaps as well.
    if (reason == Refusal::kNotJpeg && audience == Audience::kPictureItem)
        return std::string(kNotJpegProblem) + ": choose a JPEG or Windows bitmap file";
    const Wording* wording = nullptr;
    for (const Wording& candidate : kWordings) {
        if (candidate.reason == reason) wording = &candidate;
    }
    if (wording == nullptr) return std::string();
    char problem[160];
    switch (reason) {
        case Refusal::kExtendedFrame:
        case Refusal::kProgressiveFrame:
        case Refusal::kLosslessFrame:
        case Refusal::kHierarchicalFrame:
        case Refusal::kArithmeticFrame:
            std::snprintf(problem, sizeof(problem), wording->problem,
                          FindFrameKind(decoder->frame_marker)->name, decoder->frame_marker - 0xC0);
            break;
        case Refusal::kComponentCount:
            std::snprintf(problem, sizeof(problem), wording->problem, decoder->component_count);
            break;
        case Refusal::kNoSize:
        case Refusal::kTooLarge:
            std::snprintf(problem, sizeof(problem), wording->problem, decoder->width,
                          decoder->height);
            break;
        case Refusal::kNotInterleaved:
            std::snprintf(problem, sizeof(problem), wording->problem, decoder->scan_component_count,
                          decoder->component_count);
            break;
        default:
            std::snprintf(problem, sizeof(problem), "%s", wording->problem);
            break;
    }
    return std::string(problem) + ": " + wording->advice;
}

std::string DescribeOtherKind(FileKind kind, Audience audience) {
    const bool item = audience == Audience::kPictureItem;
    const char* advice = nullptr;
    switch (kind) {
        case FileKind::kUnknown:
        case FileKind::kJpeg:
            return std::string();
        case FileKind::kEmpty:
            return "an empty file (0 bytes), not a JPEG: the copy or download did not finish; "
                   "copy the picture again";
        case FileKind::kBmp:
            advice = item ? "rename it .bmp (the item reads a file by its name: names ending in "
                            ".jpg or .jpeg as JPEG, all others as Windows bitmaps)"
                          : "convert it to a baseline JPEG";
            break;
        case FileKind::kPdf:
            advice = item ? "export the page as a baseline JPEG or a 24-bit Windows bitmap"
                          : "export the page as a baseline JPEG";
            break;
        case FileKind::kHtml:
            return std::string(FileKindName(kind)) +
                   ", not a JPEG (a web page saved under the picture's name): save the picture "
                   "itself";
        case FileKind::kText:
            advice = "choose the picture file itself";
            break;
        default:
            advice = item ? "convert it to a baseline JPEG or a 24-bit Windows bitmap"
                          : "convert it to a baseline JPEG";
            break;
    }
    return std::string(FileKindName(kind)) + ", not a JPEG: " + advice;
}

std::string DescribeRefusalOfParse(const JpegDecoder* decoder, const uint8_t* image, int32_t size,
                                   Audience audience) {
    if (FindRefusal(decoder) == Refusal::kNone) return std::string();
    const FileKind kind = FindFileKind(image, size);
    // Text ahead of a start-of-image marker: the JPEG behind it is what is refused.
    const bool text = kind == FileKind::kText || kind == FileKind::kHtml || kind == FileKind::kSvg;
    if (kind != FileKind::kUnknown && kind != FileKind::kJpeg && !(text && decoder->soi_found))
        return DescribeOtherKind(kind, audience);
    return DescribeRefusal(decoder, audience);
}

std::string DescribeRefusalOfImage(const uint8_t* image, int32_t size, Audience audience) {
    JpegDecoder decoder;
    ConstructDecoder(&decoder);
    std::string words;
    if (Attach(&decoder, image, size) == 0)
        words = DescribeRefusalOfParse(&decoder, image, size, audience);
    DestroyDecoder(&decoder);
    return words;
}

}  // namespace varnel
