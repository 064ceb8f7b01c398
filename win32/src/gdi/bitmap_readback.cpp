// Reading back what was drawn, for tests and for the host's picture writer.
#include "gdi_objects.h"
#include "win32/host_services.h"

extern "C" WIN32LAYER_API BOOL Win32LayerReadBitmap(HBITMAP handle, int* width, int* height,
                                                    uint32_t* pixels) {
    const Bitmap* bitmap = static_cast<const Bitmap*>(HandleLookup(handle, HandleKind::Bitmap));
    if (bitmap == nullptr) return FALSE;
    if (width != nullptr) *width = bitmap->width;
    if (height != nullptr) *height = bitmap->height;
    if (pixels == nullptr) return TRUE;
    for (int y = 0; y < bitmap->height; ++y) {
        for (int x = 0; x < bitmap->width; ++x) {
            *pixels++ = BitmapReadPixel(*bitmap, x, y);
        }
    }
    return TRUE;
}
