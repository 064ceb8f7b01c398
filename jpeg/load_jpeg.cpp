// LoadJpeg: file to bitmap, the library's one export. It reads the file into a local-heap
// block, decodes it with the fast kernels (which give the reference's bitmap exactly) and
// hands the picture back as a DIB section.
#include "load_jpeg_kernels.h"
#include "varnel.h"

extern "C" VARNEL_API HBITMAP WINAPI LoadJpeg(HWND window, const WCHAR* path, POINT* size) {
    return varnel::LoadJpegWithKernels(window, path, size, varnel::Kernels::Fast);
}
