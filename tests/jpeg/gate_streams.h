// Hand-built files that the decode gate refuses, one for each reason it can give, and two that
// it lets through. The stage tests hold the reasons against the gate; varnel-decode's tests
// show their words.
#pragma once

#include <string>
#include <vector>

#include "refusal.h"
#include "stage_streams.h"

namespace stagetest {

struct StreamSpec {
    bool soi = true;
    int frame_marker = 0xC0;  // 0: no frame header
    int height = 8;
    int width = 8;
    int frame_count = -1;  // Nf as written; -1: the number of components
    std::vector<Component> components = {{1, 1, 1, 0}};
    bool scan = true;
    std::vector<ScanEntry> entries = {{1, 0, 0}};
    bool cut_in_scan_header = false;  // the file ends after the first scan entry's selector
};

// SOI, DQT, the frame, DHT, SOS and one flat block per component (enough data for any row here
// that reaches the scan: the decode of a short scan pads with zeros), EOI.
inline Bytes BuildStream(const StreamSpec& spec) {
    Bytes out;
    if (!spec.soi) Append(&out, {'B', 'M', 0, 0});
    if (spec.soi) Soi(&out);
    DqtFlat(&out, 0, 1);
    if (spec.frame_marker != 0) {
        Bytes frame{8};
        PutWord(&frame, spec.height);
        PutWord(&frame, spec.width);
        const int count =
            spec.frame_count >= 0 ? spec.frame_count : static_cast<int>(spec.components.size());
        frame.push_back(static_cast<uint8_t>(count));
        for (const Component& c : spec.components) Append(&frame, {c.id, (c.h << 4) | c.v, c.tq});
        Segment(&out, spec.frame_marker, frame);
    }
    StandardTables(&out);
    if (spec.scan) {
        Bytes header{static_cast<uint8_t>(spec.entries.size())};
        for (const ScanEntry& e : spec.entries) Append(&header, {e.cs, (e.td << 4) | e.ta});
        if (spec.cut_in_scan_header) {
            Append(&out, {0xFF, 0xDA});
            PutWord(&out, static_cast<int>(header.size()) + 5);
            Append(&out, Bytes(header.begin(), header.begin() + 3));
            return out;
        }
        Append(&header, {0, 63, 0});
        Segment(&out, 0xDA, header);
        BitWriter data;
        for (size_t i = 0; i < spec.components.size(); ++i) PutFlatBlock(&data, 0);
        PadToByte(&data);
        Append(&out, data.bytes);
    }
    Eoi(&out);
    return out;
}

struct GateCase {
    const char* name;
    StreamSpec spec;
    varnel::Refusal reason;
    const char* words;  // what varnel-decode says, in part; empty for kNone
};

// A frame of these components, read by one scan of these entries.
inline StreamSpec Frame(std::vector<Component> components, std::vector<ScanEntry> entries) {
    StreamSpec spec;
    spec.components = std::move(components);
    spec.entries = std::move(entries);
    return spec;
}

// The default grey stream with one change.
inline StreamSpec With(StreamSpec spec, void (*change)(StreamSpec*)) {
    change(&spec);
    return spec;
}

inline const std::vector<GateCase>& GateCases() {
    using varnel::Refusal;
    static const std::vector<GateCase> cases = {
        {"Grey", StreamSpec{}, Refusal::kNone, ""},
        {"Colour420",
         With(Frame({{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}),
              [](StreamSpec* s) { s->width = s->height = 16; }),
         Refusal::kNone, ""},
        {"NotJpeg", With({}, [](StreamSpec* s) { s->soi = false; }), Refusal::kNotJpeg,
         "not a JPEG file"},
        {"NoScan", With({}, [](StreamSpec* s) { s->scan = false; }), Refusal::kNoScan,
         "no picture data"},
        {"NoFrame", With({}, [](StreamSpec* s) { s->frame_marker = 0; }), Refusal::kNoFrame,
         "no frame header"},
        {"Extended", With({}, [](StreamSpec* s) { s->frame_marker = 0xC1; }),
         Refusal::kExtendedFrame, "extended sequential JPEG (SOF1)"},
        {"Progressive", With({}, [](StreamSpec* s) { s->frame_marker = 0xC2; }),
         Refusal::kProgressiveFrame, "progressive JPEG (SOF2)"},
        {"Lossless", With({}, [](StreamSpec* s) { s->frame_marker = 0xC3; }),
         Refusal::kLosslessFrame, "lossless JPEG (SOF3)"},
        {"Hierarchical", With({}, [](StreamSpec* s) { s->frame_marker = 0xC5; }),
         Refusal::kHierarchicalFrame, "hierarchical JPEG (SOF5)"},
        {"Arithmetic", With({}, [](StreamSpec* s) { s->frame_marker = 0xC9; }),
         Refusal::kArithmeticFrame, "arithmetic-coded JPEG (SOF9)"},
        {"FourComponents", With({}, [](StreamSpec* s) { s->frame_count = 4; }),
         Refusal::kFourComponents, "four colour components"},
        {"TwoComponents", With({}, [](StreamSpec* s) { s->frame_count = 2; }),
         Refusal::kComponentCount, "2 colour components"},
        {"ZeroSampling",
         Frame({{1, 1, 1, 0}, {2, 0, 1, 0}, {3, 1, 1, 0}}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}),
         Refusal::kZeroSampling, "a sampling factor of 0"},
        {"QuantSelector", Frame({{1, 1, 1, 4}}, {{1, 0, 0}}), Refusal::kQuantSelector,
         "quantisation table selector out of range"},
        {"NoHeight", With({}, [](StreamSpec* s) { s->height = 0; }), Refusal::kNoSize,
         "a width or height of 0 in the frame header (8 x 0)"},
        {"TableSelector", Frame({{1, 1, 1, 0}}, {{1, 3, 0}}), Refusal::kTableSelector,
         "Huffman table selector out of range"},
        {"ScanHeaderCut", With({}, [](StreamSpec* s) { s->cut_in_scan_header = true; }),
         Refusal::kScanHeaderCut, "the scan header is cut short"},
        {"NotInterleaved", Frame({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}, {{1, 0, 0}}),
         Refusal::kNotInterleaved,
         "a non-interleaved baseline JPEG: its first scan is not interleaved (it holds 1 of the 3 "
         "components"},
        {"TooLarge", With({}, [](StreamSpec* s) { s->width = s->height = 65535; }),
         Refusal::kTooLarge, "picture too large (65535 x 65535"},
    };
    return cases;
}

}  // namespace stagetest
