// Screen metrics from the emulated screen, and the system colours (the classic Windows
// defaults).
#include "screen.h"
#include "win32/user.h"

extern "C" WIN32LAYER_API int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return ScreenWidth();
        case SM_CYSCREEN:
            return ScreenHeight();
        default:
            return 0;
    }
}

extern "C" WIN32LAYER_API DWORD WINAPI GetSysColor(int index) {
    static const COLORREF kColors[COLOR_BTNHIGHLIGHT + 1] = {
        RGB(192, 192, 192),  // COLOR_SCROLLBAR
        RGB(0, 128, 128),    // COLOR_BACKGROUND
        RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
        RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
        RGB(192, 192, 192),  // COLOR_MENU
        RGB(255, 255, 255),  // COLOR_WINDOW
        RGB(0, 0, 0),        // COLOR_WINDOWFRAME
        RGB(0, 0, 0),        // COLOR_MENUTEXT
        RGB(0, 0, 0),        // COLOR_WINDOWTEXT
        RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
        RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
        RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
        RGB(128, 128, 128),  // COLOR_APPWORKSPACE
        RGB(0, 0, 128),      // COLOR_HIGHLIGHT
        RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
        RGB(192, 192, 192),  // COLOR_BTNFACE
        RGB(128, 128, 128),  // COLOR_BTNSHADOW
        RGB(128, 128, 128),  // COLOR_GRAYTEXT
        RGB(0, 0, 0),        // COLOR_BTNTEXT
        RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
        RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    };
    if (index < 0 || index > COLOR_BTNHIGHLIGHT) return 0;
    return kColors[index];
}
