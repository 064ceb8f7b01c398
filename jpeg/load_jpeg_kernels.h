// LoadJpeg with a choice of kernels, for the library's export and for the tests. The
// reference kernels decode as the format's definition reads: one bit at a time, a linear
// code search, the full 64 x 64 inverse-DCT product, full-size planes and a pixel block. The
// fast kernels give the same bitmap on every input and stream MCU rows into it.
#pragma once

#include <windows.h>

#include "decode_notes.h"
#include "fast_kernels.h"

namespace varnel {

enum class Kernels { Reference, Fast };

// Kernels::Fast runs the best kernel set of the build and the processor (BestKernelSet): what
// LoadJpeg runs. With `notes`, a successful decode also fills in what it noticed about the file
// (decode_notes.h); the bitmap is the same either way. The tools call this to warn about a
// picture whose data ends early, from the one decode that makes the bitmap.
HBITMAP LoadJpegWithKernels(HWND window, const WCHAR* path, POINT* size, Kernels kernels,
                            DecodeNotes* notes = nullptr);

// The fast kernels with a given set, one that KernelSetRuns allows: what LoadJpeg gives on a
// processor whose best set that is (the benchmark's --kernels, the differential tests).
HBITMAP LoadJpegWithKernelSet(HWND window, const WCHAR* path, POINT* size, KernelSet set,
                              DecodeNotes* notes = nullptr);

}  // namespace varnel
