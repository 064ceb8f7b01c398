// The kernel sets of the fast decode path, and the one place that asks the processor what it
// runs and picks among them. Every set gives exactly the same samples and bytes; the portable
// set (plain integer C++) is always there and is what a processor without SIMD runs. The
// Huffman decoding and the bit reader are shared by all sets.
#pragma once

#include <cstdint>

#include "fast_color.h"
#include "fast_idct.h"

namespace varnel {

enum class KernelSet { kPortable, kSse2, kAvx2 };

struct FastKernels {
    KernelSet set;
    IdctKernel idct;
    ColorKernels color;
};

// "portable", "sse2" or "avx2".
const char* KernelSetName(KernelSet set);

// Whether the set is compiled into this build (a build with VARNEL_PORTABLE_KERNELS has the
// portable one only) and this processor runs it.
bool KernelSetRuns(KernelSet set);

// The kernels of a set that KernelSetRuns allows.
FastKernels KernelsOf(KernelSet set);

// The fastest set this build has and this processor runs.
KernelSet BestKernelSet();

}  // namespace varnel
