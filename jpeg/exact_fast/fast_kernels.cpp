// Which kernel set the fast decode runs: the sets the build has, and the best one the processor
// runs (asked once, here only).
#include "fast_kernels.h"

#include <initializer_list>

namespace varnel {

const char* KernelSetName(KernelSet set) {
    switch (set) {
        case KernelSet::kPortable:
            return "portable";
        case KernelSet::kSse2:
            return "sse2";
        case KernelSet::kAvx2:
            return "avx2";
    }
    return "?";
}

bool KernelSetRuns(KernelSet set) {
    switch (set) {
        case KernelSet::kPortable:
            return true;
#if VARNEL_HAS_X86_KERNELS
        case KernelSet::kSse2:
#if defined(__SSE2__)
            return true;
#else
            return __builtin_cpu_supports("sse2");
#endif
        case KernelSet::kAvx2:
            return __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

FastKernels KernelsOf(KernelSet set) {
    FastKernels kernels{KernelSet::kPortable,
                        InverseDctPortable,
                        {ChromaTermsPortable, ColorRowPortable, ColorRowHalfPortable,
                         GreyRowPortable, ColorRowFullPortable}};
#if VARNEL_HAS_X86_KERNELS
    if (set == KernelSet::kSse2) {
        // The chroma terms come from the portable kernel's tables.
        kernels = {
            set,
            InverseDctSse2,
            {ChromaTermsPortable, ColorRowSse2, ColorRowHalfSse2, GreyRowSse2, ColorRowFullSse2}};
    } else if (set == KernelSet::kAvx2) {
        kernels = {
            set,
            InverseDctAvx2,
            {ChromaTermsAvx2, ColorRowAvx2, ColorRowHalfAvx2, GreyRowAvx2, ColorRowFullAvx2}};
    }
#else
    (void)set;
#endif
    return kernels;
}

KernelSet BestKernelSet() {
    for (const KernelSet set : {KernelSet::kAvx2, KernelSet::kSse2}) {
        if (KernelSetRuns(set)) return set;
    }
    return KernelSet::kPortable;
}

}  // namespace varnel
