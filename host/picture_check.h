// Why the picture item shows a white item instead of its picture, or shows it wrongly (a JPEG
// whose data ends early, an OS/2 bitmap, a bitmap cut short). The item itself stays silent; the
// host works it out from the item's stored settings and the picture file, the way the item reads
// them when it builds its picture cache.
#pragma once

#include <string>

#include "picture_settings.h"

// The name under which the picture item is registered.
inline constexpr char kPictureItemName[] = "Lumetta";

// What keeps the picture of these settings from appearing as it should, in one line; empty when
// it appears.
std::string FindPictureProblem(const PictureSettings& settings);
