#include "window_object.h"

Bitmap* WindowSurface(HWND window) {
    auto* object = static_cast<Window*>(HandleLookup(window, HandleKind::Window));
    return object != nullptr ? object->surface : nullptr;
}
