// Decodes an in-memory JPEG image with the reference kernels and with the fast kernels, the
// way the two paths of LoadJpeg do (without the file and the DIB section), so that tests and
// the fuzz target can require the same bitmap bytes, the same failures and the same final
// reader state from both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fast_kernels.h"

namespace differential {

struct Outcome {
    bool decoded = false;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rows;  // bottom-up BGR rows padded to a multiple of 4 bytes
    // Where the decoder's reader stands after the scan.
    int64_t cursor = 0;
    int32_t bit_index = 0;
    int32_t stuff_pending = 0;
    int32_t valid = 0;
    int32_t consumed = 0;
    // Where the scan's data first failed a read (the decoder's notes for the tools' warnings).
    int32_t data_ended = 0;
    int32_t data_end_mcu = 0;
    int32_t data_end_marker = 0;
    // The fast path also asks why a file is refused: false when the reason given (or not given)
    // disagrees with the decode gate.
    bool refusal_agrees = true;
};

Outcome DecodeReference(const uint8_t* data, size_t size);
// With the given kernel set (one of RunnableKernelSets).
Outcome DecodeFast(const uint8_t* data, size_t size, varnel::KernelSet set);

// Every kernel set that this build has and this processor runs, the portable one first.
std::vector<varnel::KernelSet> RunnableKernelSets();

// Decodes with the reference and with every runnable kernel set; empty when they all agree,
// otherwise the first difference, named by its kernel set.
std::string CompareAllKernelSets(const uint8_t* data, size_t size, bool* reference_decoded);

// Empty when both paths agree (and the refusal reason with the gate); otherwise what differs
// first.
std::string Compare(const Outcome& reference, const Outcome& fast);

}  // namespace differential
