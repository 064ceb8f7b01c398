// The marker parser: the SOI search and the segment loop up to the first SOS, with the
// handlers of the segments that a baseline decode reads (ITU-T T.81 Annex B, JFIF APP0).
#include <cstdlib>
#include <cstring>

#include "decoder_heap.h"
#include "jpeg_decoder.h"

namespace varnel {

namespace {

// Offset of a position from the start of the image, so that segment ends before the start
// (a length field below 2) compare without leaving the buffer.
int64_t OffsetOf(const JpegReader* reader, const uint8_t* position) {
    return position - reader->begin;
}

void AnalysisAPP0(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    const int32_t length = ReadWord(reader);
    const int32_t n = length - 2;
    if (n < 5) {
        Skip(reader, n);
        return;
    }
    // An identifier cut short by the end of the image stays zero: neither "JFIF" nor "JFXX".
    char identifier[5] = {0, 0, 0, 0, 0};
    ReadBytes(reader, reinterpret_cast<uint8_t*>(identifier), 5);
    identifier[4] = 0;
    if (std::strcmp(identifier, "JFIF") == 0) {
        AnalysisJFIF(decoder);
        Skip(reader, length - 16);  // the thumbnail; backwards for a segment shorter than 16
    } else if (std::strcmp(identifier, "JFXX") == 0) {
        AnalysisJFXX(decoder);
        Skip(reader, length - 8);
    } else {
        Skip(reader, length - 7);
    }
}

void AnalysisCOM(JpegDecoder* decoder) {
    const int32_t n = ReadWord(decoder->reader) - 2;
    std::free(decoder->comment);
    decoder->comment = nullptr;
    if (n < 0) return;
    // Zero-filled, so that a comment cut short by the end of the image reads as zeros.
    decoder->comment = static_cast<char*>(DecoderAllocateZeroed(static_cast<size_t>(n) + 1, 1));
    if (decoder->comment == nullptr) return;
    ReadBytes(decoder->reader, reinterpret_cast<uint8_t*>(decoder->comment), n);
    decoder->comment[n] = 0;
}

}  // namespace

int32_t NextMarker(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    for (;;) {
        int32_t byte = 0;
        do {
            if (!reader->valid) return 0;
            byte = ReadByte(reader);
        } while (byte != 0xFF);
        if (!reader->valid) return 0;
        const int32_t code = ReadByte(reader);
        if (code == 0x00) continue;  // a stuffed zero
        if (code == 0x01 || code == 0x02) return code;
        if (code <= 0xBF) return 0xFF;  // codes that T.81 reserves
        return code;
    }
}

int32_t AnalysisHeader(JpegDecoder* decoder) {
    decoder->in_image = 0;
    for (;;) {
        const int32_t code = NextMarker(decoder);
        if (code == 0) return 0;  // no SOI in the image
        if (code == 0xD8) break;
    }
    decoder->in_image = 1;
    decoder->soi_found = 1;
    while (decoder->in_image == 1) {
        decoder->segment_flags |= AnalysisSegment(decoder);
        if (decoder->segment_flags & kSegmentSOS) break;
        if (!decoder->reader->valid) break;  // the marker search would find nothing more
    }
    return 0;
}

int32_t AnalysisSegment(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    const int32_t code = NextMarker(decoder);
    switch (code) {
        case 0xC0:  // SOF0
            decoder->frame_marker = code;
            ReadWord(reader);
            AnalysisSOF0(decoder);
            return 0;
        case 0xC4:  // DHT
            AnalysisDHT(decoder, ReadWord(reader) - 2);
            return kSegmentDHT;
        case 0xD9:  // EOI
            decoder->in_image = 0;
            return 0;
        case 0xDA:  // SOS
            ReadWord(reader);
            AnalysisSOS(decoder);
            return kSegmentSOS;
        case 0xDB:  // DQT
            AnalysisDQT(decoder, ReadWord(reader) - 2);
            return kSegmentDQT;
        case 0xDC:  // DNL
            ReadWord(reader);
            decoder->height = ReadWord(reader);
            return 0;
        case 0xDD:  // DRI
            ReadWord(reader);
            decoder->restart_interval = ReadWord(reader);
            return 0;
        case 0xE0:
            AnalysisAPP0(decoder);
            return 0;
        case 0xFE:
            AnalysisCOM(decoder);
            return kSegmentCOM;
        default:
            if (code >= 0xE1 && code <= 0xEF) {  // APP1 to APP15
                Skip(reader, ReadWord(reader) - 2);
            }
            // SOF1 to SOF15 (T.81 Table B.1; 0xC4, 0xC8 and 0xCC are DHT, JPG and DAC): noted
            // so that a refusal can name the coding process, and otherwise passed over.
            if (code >= 0xC1 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
                decoder->frame_marker = code;
            }
            // Every other marker has no segment read here: the next search goes through it.
            return 0;
    }
}

void AnalysisDQT(JpegDecoder* decoder, int32_t n) {
    JpegReader* reader = decoder->reader;
    const int64_t segment_end = OffsetOf(reader, Position(reader)) + n;
    do {
        const int32_t b = ReadByte(reader);
        const int32_t identifier = b & 0x03;
        const bool wide = (b & 0xF0) != 0;
        for (int k = 0; k < 64; ++k) {
            const int32_t entry = wide ? ReadWord(reader) : ReadByte(reader);
            decoder->quant[identifier][zigzag_order[k]] = entry;
        }
    } while (OffsetOf(reader, Position(reader)) < segment_end && reader->valid);
}

void AnalysisSOF0(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    decoder->precision = ReadByte(reader);
    decoder->height = ReadWord(reader);
    decoder->width = ReadWord(reader);
    decoder->component_count = ReadByte(reader);
    if (decoder->component_count != 1 && decoder->component_count != 3) return;
    decoder->h_max = 0;
    decoder->v_max = 0;
    for (int32_t i = 0; i < decoder->component_count; ++i) {
        FrameComponent& component = decoder->frame_components[i];
        component.id = static_cast<uint8_t>(ReadByte(reader));
        const int32_t factors = ReadByte(reader);
        component.h = static_cast<int8_t>(factors >> 4);
        component.v = static_cast<int8_t>(factors & 0x0F);
        component.tq = static_cast<int8_t>(ReadByte(reader));
        if (component.h > decoder->h_max) decoder->h_max = component.h;
        if (component.v > decoder->v_max) decoder->v_max = component.v;
    }
}

void AnalysisSOS(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    // The header counts as read whole only if every byte came from the image.
    bool complete = true;
    auto read = [&]() {
        if (!reader->valid) complete = false;
        return ReadByte(reader);
    };
    decoder->scan_header_complete = 0;
    const int32_t count = read();
    decoder->scan_component_count = static_cast<uint8_t>(count);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t cs = read();
        const int32_t tables = read();
        const int32_t td = tables >> 4;
        const int32_t ta = tables & 0x0F;
        // The record holds three entries; a scan with more is refused by the decode gate.
        if (j < 3) {
            decoder->scan_components[j].cs = static_cast<uint8_t>(cs);
            decoder->scan_components[j].td = static_cast<int8_t>(td);
        }
        if (td > 2) return;
        if (j < 3) decoder->scan_components[j].ta = static_cast<int8_t>(ta);
        if (ta > 2) return;
    }
    decoder->ss = static_cast<uint8_t>(read());
    decoder->se = static_cast<uint8_t>(read());
    const int32_t approximation = read();
    decoder->ah = static_cast<uint8_t>(approximation >> 4);
    decoder->al = static_cast<uint8_t>(approximation & 0x0F);
    decoder->scan_header_complete = complete ? 1 : 0;
}

void AnalysisJFIF(JpegDecoder* decoder) {
    JpegReader* reader = decoder->reader;
    decoder->app0_kind = 1;
    decoder->jfif_major = static_cast<uint8_t>(ReadByte(reader));
    decoder->jfif_minor = static_cast<uint8_t>(ReadByte(reader));
    decoder->density_units = ReadByte(reader);
    decoder->x_density = ReadWord(reader);
    decoder->y_density = ReadWord(reader);
    decoder->thumb_width = ReadByte(reader);
    decoder->thumb_height = ReadByte(reader);
    decoder->segment_flags |= kSegmentJFIF;
}

void AnalysisJFXX(JpegDecoder* decoder) {
    decoder->app0_kind = 2;
    decoder->jfxx_code = ReadByte(decoder->reader);
}

}  // namespace varnel
