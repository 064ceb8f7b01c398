// libFuzzer target: any input decodes alike with the reference kernels and with every set of
// fast kernels that the build has and the processor runs (the same bitmap bytes, the same
// failure, the same final reader state). A difference aborts with what differs.
#include <cstdio>
#include <cstdlib>

#include "differential_decode.h"
#include "jpeg_size.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Larger pictures only slow the search down: the reference decodes one bit at a time and
    // transforms a block in 4096 multiplications. 4096 pixels still allow a row of several
    // strips of the fast path (1537 x 2 in greyscale) and every MCU shape.
    if (fuzzing::TooLargeToFuzz(fuzzing::MeasureJpeg(data, size), int64_t{1} << 12)) return 0;
    const std::string difference = differential::CompareAllKernelSets(data, size, nullptr);
    if (!difference.empty()) {
        std::fprintf(stderr, "fast and reference decodes differ: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
