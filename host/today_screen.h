// The emulated Today screen: every registered, enabled item is loaded and initialised through
// its export ordinal 240, the item windows are stacked in the host's order below the host's own
// lines (today_frame.h) and painted through their window procedures, and the screen is read back.
// A bare screen is white with the items from its top edge, nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "today_frame.h"

struct TodayScreen {
    int width;
    int height;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    int items_shown;
    std::vector<std::string> warnings;  // items not shown, or shown without their picture, and why
};

// Renders the screen of the given size from the registry's item list, with the host's lines of
// frame around the items (a bare screen when frame is null), then leaves the host window on the
// screen for hold_seconds (for a person or a screenshot). False, with the reason, when the screen
// itself cannot be made.
bool RenderTodayScreen(int width, int height, const TodayFrame* frame, int hold_seconds,
                       TodayScreen* screen, std::string* error);
