// The decode's notes in words. A marker is named by its code and, for the common ones, by its
// T.81 mnemonic (Table B.1), so that a person can find it in a hex dump.
#include "decode_notes.h"

#include <cstdio>

namespace varnel {

namespace {

// The mnemonic of a marker code, e.g. "EOI" or "RST3".
std::string MarkerName(int32_t code) {
    char name[16];
    if (code >= 0xD0 && code <= 0xD7) {
        std::snprintf(name, sizeof(name), "RST%d", code - 0xD0);
    } else if (code >= 0xE0 && code <= 0xEF) {
        std::snprintf(name, sizeof(name), "APP%d", code - 0xE0);
    } else if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
        std::snprintf(name, sizeof(name), "SOF%d", code - 0xC0);
    } else {
        static const struct {
            int32_t code;
            const char* name;
        } kNames[] = {{0xC4, "DHT"}, {0xCC, "DAC"}, {0xD8, "SOI"}, {0xD9, "EOI"}, {0xDA, "SOS"},
                      {0xDB, "DQT"}, {0xDC, "DNL"}, {0xDD, "DRI"}, {0xFE, "COM"}};
        for (const auto& known : kNames) {
            if (known.code == code) return known.name;
        }
        return "";
    }
    return name;
}

}  // namespace

DecodeNotes TakeDecodeNotes(const JpegDecoder* decoder) {
    DecodeNotes notes;
    notes.height = decoder->height;
    if (decoder->data_ended == 0) return notes;
    const McuLayout layout = ComputeMcuLayout(decoder);
    const int32_t mcu_height = layout.v_max * 8;
    const int32_t mcu_row = layout.mcu_cols > 0 ? decoder->data_end_mcu / layout.mcu_cols : 0;
    notes.data_ended = true;
    notes.first_row = mcu_row * mcu_height;
    notes.last_row = notes.first_row + mcu_height - 1;
    if (notes.last_row >= decoder->height) notes.last_row = decoder->height - 1;
    notes.marker = decoder->data_end_marker;
    return notes;
}

std::string DescribeDecodeNotes(const DecodeNotes& notes) {
    if (!notes.data_ended) return std::string();
    char where[96];
    std::snprintf(where, sizeof(where), "before its last block, at rows %d to %d of %d",
                  notes.first_row + 1, notes.last_row + 1, notes.height);
    if (notes.marker == 0) {
        return std::string("the picture data ends ") + where +
               ": the file is cut short, and the picture from there down is made up by the "
               "decoder; copy the file again";
    }
    char marker[48];
    const std::string name = MarkerName(notes.marker);
    std::snprintf(marker, sizeof(marker), "a marker (FF%02X%s%s)",
                  static_cast<unsigned>(notes.marker), name.empty() ? "" : ", ", name.c_str());
    return std::string(marker) + " interrupts the picture data " + where +
           ": the file is damaged, and the picture from there down is made up by the decoder";
}

}  // namespace varnel
