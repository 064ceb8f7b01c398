// The item's three settings and their store in the registry of the current user, under
// "Software\Quenby\Lumetta": "Mode" (REG_DWORD), "Height" (REG_DWORD) and "Path" (REG_SZ, always
// the whole 520-byte field).
#pragma once

#include <windows.h>

#include <cstdint>

// How the picture is placed in the item. A stored value outside these is kept as it is and
// draws no picture.
enum class DrawMode : int32_t {
    Stretch = 0,  // scaled to the whole item
    Center = 1,   // unscaled, centred
    Tile = 2,     // unscaled, repeated from the top-left corner
};

struct PictureSettings {
    DrawMode mode;
    int32_t height;        // item height in pixels
    WCHAR path[MAX_PATH];  // picture file, NUL-terminated, the rest zero
};
static_assert(sizeof(PictureSettings) == 4 + 4 + 520);

// Stretch, 24 pixels, no picture file.
PictureSettings DefaultPictureSettings();

// Overwrites the fields whose values can be read and keeps the others; the path always ends
// within its field. Returns the registry's status (0 on success).
LSTATUS LoadPictureSettings(PictureSettings* settings);
// Writes all three values, creating the key when it is missing. Returns the registry's status.
LSTATUS SavePictureSettings(const PictureSettings* settings);
