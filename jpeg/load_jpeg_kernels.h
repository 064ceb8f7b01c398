// LoadJpeg with a choice of kernels, for the library's export and for the tests. The
// reference kernels decode as the format's definition reads: one bit at a time, a linear
// code search, the full 64 x 64 inverse-DCT product, full-size planes and a pixel block. The
// fast kernels give the same bitmap on every input and stream MCU rows into it.
#pragma once

#include <windows.h>

namespace varnel {

enum class Kernels { Reference, Fast };

HBITMAP LoadJpegWithKernels(HWND window, const WCHAR* path, POINT* size, Kernels kernels);

}  // namespace varnel
