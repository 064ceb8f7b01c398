#include "differential_decode.h"

#include <cstdio>

#include "fast_scan.h"
#include "jpeg_decoder.h"
#include "refusal.h"

namespace differential {

namespace {

int64_t Stride(int32_t width) {
    return ((int64_t{width} * 24 + 31) >> 5) * 4;
}

void RecordReader(const varnel::JpegDecoder& decoder, const uint8_t* data, int32_t consumed,
                  Outcome* outcome) {
    const varnel::JpegReader* reader = decoder.reader;
    outcome->cursor = reader->cursor - data;
    outcome->bit_index = reader->bit_index;
    outcome->stuff_pending = reader->stuff_pending;
    outcome->valid = reader->valid;
    outcome->consumed = consumed;
    outcome->data_ended = decoder.data_ended;
    outcome->data_end_mcu = decoder.data_end_mcu;
    outcome->data_end_marker = decoder.data_end_marker;
}

}  // namespace

Outcome DecodeReference(const uint8_t* data, size_t size) {
    Outcome outcome;
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    int32_t consumed = 0;
    decoder.consumed = &consumed;
    if (varnel::Attach(&decoder, data, static_cast<int32_t>(size)) == 0 &&
        varnel::Decode(&decoder) == 0) {
        outcome.decoded = true;
        outcome.width = decoder.width;
        outcome.height = decoder.height;
        const int64_t stride = Stride(decoder.width);
        outcome.rows.assign(static_cast<size_t>(stride * decoder.height), 0);
        for (int32_t y = 0; y < decoder.height; ++y) {
            uint8_t* out = outcome.rows.data() + (decoder.height - 1 - y) * stride;
            const size_t row = static_cast<size_t>(y) * static_cast<size_t>(decoder.width);
            for (int32_t x = 0; x < decoder.width; ++x) {
                *out++ = decoder.planes[2][row + x];
                *out++ = decoder.planes[1][row + x];
                *out++ = decoder.planes[0][row + x];
            }
        }
        RecordReader(decoder, data, consumed, &outcome);
    }
    varnel::DestroyDecoder(&decoder);
    return outcome;
}

Outcome DecodeFast(const uint8_t* data, size_t size, varnel::KernelSet set) {
    Outcome outcome;
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    int32_t consumed = 0;
    decoder.consumed = &consumed;
    const bool attached = varnel::Attach(&decoder, data, static_cast<int32_t>(size)) == 0;
    outcome.refusal_agrees =
        !attached ||
        varnel::IsDecodable(&decoder) == (varnel::FindRefusal(&decoder) == varnel::Refusal::kNone);
    if (attached && varnel::IsDecodable(&decoder)) {
        const int64_t stride = Stride(decoder.width);
        // Filled with a pattern that the decode must overwrite everywhere.
        outcome.rows.assign(static_cast<size_t>(stride * decoder.height), 0xA5);
        if (varnel::DecodeScanToRows(&decoder, outcome.rows.data(), stride,
                                     varnel::KernelsOf(set))) {
            outcome.decoded = true;
            outcome.width = decoder.width;
            outcome.height = decoder.height;
            RecordReader(decoder, data, consumed, &outcome);
        } else {
            outcome.rows.clear();
        }
    }
    varnel::DestroyDecoder(&decoder);
    return outcome;
}

std::vector<varnel::KernelSet> RunnableKernelSets() {
    std::vector<varnel::KernelSet> sets;
    for (const varnel::KernelSet set :
         {varnel::KernelSet::kPortable, varnel::KernelSet::kSse2, varnel::KernelSet::kAvx2}) {
        if (varnel::KernelSetRuns(set)) sets.push_back(set);
    }
    return sets;
}

std::string CompareAllKernelSets(const uint8_t* data, size_t size, bool* reference_decoded) {
    const Outcome reference = DecodeReference(data, size);
    if (reference_decoded != nullptr) *reference_decoded = reference.decoded;
    for (const varnel::KernelSet set : RunnableKernelSets()) {
        const std::string difference = Compare(reference, DecodeFast(data, size, set));
        if (!difference.empty()) return std::string(varnel::KernelSetName(set)) + ": " + difference;
    }
    return {};
}

std::string Compare(const Outcome& reference, const Outcome& fast) {
    char text[200];
    if (!fast.refusal_agrees) return "the refusal reason disagrees with the decode gate";
    if (reference.decoded != fast.decoded) {
        std::snprintf(text, sizeof(text), "decoded: reference %d, fast %d", reference.decoded,
                      fast.decoded);
        return text;
    }
    if (reference.width != fast.width || reference.height != fast.height) return "size differs";
    for (size_t i = 0; i < reference.rows.size() && i < fast.rows.size(); ++i) {
        if (reference.rows[i] != fast.rows[i]) {
            std::snprintf(text, sizeof(text), "bitmap byte %zu: reference %d, fast %d", i,
                          reference.rows[i], fast.rows[i]);
            return text;
        }
    }
    if (reference.rows.size() != fast.rows.size()) return "bitmap sizes differ";
    if (reference.cursor != fast.cursor || reference.bit_index != fast.bit_index ||
        reference.stuff_pending != fast.stuff_pending || reference.valid != fast.valid ||
        reference.consumed != fast.consumed) {
        std::snprintf(text, sizeof(text),
                      "reader: reference at %lld bit %d stuff %d valid %d counted %d, fast at "
                      "%lld bit %d stuff %d valid %d counted %d",
                      static_cast<long long>(reference.cursor), reference.bit_index,
                      reference.stuff_pending, reference.valid, reference.consumed,
                      static_cast<long long>(fast.cursor), fast.bit_index, fast.stuff_pending,
                      fast.valid, fast.consumed);
        return text;
    }
    if (reference.data_ended != fast.data_ended || reference.data_end_mcu != fast.data_end_mcu ||
        reference.data_end_marker != fast.data_end_marker) {
        std::snprintf(text, sizeof(text),
                      "data end: reference %d at MCU %d marker 0x%02X, fast %d at MCU %d marker "
                      "0x%02X",
                      reference.data_ended, reference.data_end_mcu, reference.data_end_marker,
                      fast.data_ended, fast.data_end_mcu, fast.data_end_marker);
        return text;
    }
    return {};
}

}  // namespace differential
