// The library's process-wide state: its instance handle, the settings of the item window, and
// the picture cache. Only the Today host's user-interface thread touches them.
#pragma once

#include <windows.h>

#include "picture_settings.h"

// Recorded by the library entry point on every loader notification.
extern HINSTANCE item_instance;
// Defaults from the moment the library is loaded; each load overwrites them in place.
extern PictureSettings item_settings;
// The window-sized off-screen bitmap that paints copy from; null when there is none.
extern HBITMAP picture_cache;
