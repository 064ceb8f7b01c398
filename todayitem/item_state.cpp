#include "item_state.h"

HINSTANCE item_instance = nullptr;
PictureSettings item_settings = DefaultPictureSettings();
HBITMAP picture_cache = nullptr;
