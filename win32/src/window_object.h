// The record behind a window handle.
#pragma once

#include <string>

#include "gdi_objects.h"

struct Window {
    Bitmap* surface = nullptr;  // owned: the client area's pixels, 32 bits per pixel
};
