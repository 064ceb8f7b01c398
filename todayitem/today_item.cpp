// The Today item: export ordinal 240 creates the item window, whose procedure answers paints
// from the picture cache.
#include <cstddef>
#include <type_traits>

#include <windows.h>

#include "item_state.h"
#include "picture_cache.h"
#include "picture_settings.h"
#include "pocketpc.h"

namespace {

const WCHAR kClassName[] = TEXT("QBTodayPictureWnd");

LRESULT CALLBACK TodayPictureWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            BuildPictureCache(window);
            return 0;
        case WM_DESTROY:
            DropPictureCache();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            PaintFromCache(window, dc, &paint.rcPaint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONUP:
        case WM_TODAYCUSTOM_CLEARCACHE:
            return 0;
        case WM_TODAYCUSTOM_QUERYREFRESHCACHE:
            // The item never needs a refresh.
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

void RegisterItemClass() {
    WNDCLASSW item_class = {};
    item_class.style = CS_HREDRAW | CS_VREDRAW;
    item_class.lpfnWndProc = TodayPictureWndProc;
    item_class.cbClsExtra = 0;
    item_class.cbWndExtra = 0;
    item_class.hInstance = item_instance;
    item_class.hIcon = nullptr;
    item_class.hCursor = nullptr;
    item_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    item_class.lpszMenuName = nullptr;
    item_class.lpszClassName = kClassName;
    // A second initialisation in the process finds the class registered; that failure is
    // expected and harmless.
    RegisterClassW(&item_class);
}

}  // namespace

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM* item, HWND host) {
    if (item == nullptr || !item->fEnabled) return nullptr;
    RegisterItemClass();
    LoadPictureSettings(&item_settings);
    HWND window = CreateWindowExW(0, kClassName, item->szName, WS_CHILD | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), item_settings.height, host,
                                  nullptr, item_instance, nullptr);
    item->cyp = static_cast<DWORD>(item_settings.height);
    GetModuleFileNameW(item_instance, item->szDLLPath, MAX_PATH);
    item->hinstDLL = item_instance;
    item->hwndCustom = window;
    return window;
}

// The Today host calls the export through this pointer type; on 32-bit x86 the calling
// convention is part of the type, so a mismatch that would corrupt the stack fails to compile.
static_assert(std::is_same_v<decltype(&InitializeCustomItem), PFNCUSTOMINITIALIZEITEM>);

// The host's record as the device's 32-bit Today host lays it out: the item writes cyp,
// szDLLPath, hinstDLL and hwndCustom into the host's memory, so their places must match.
static_assert(sizeof(void*) != 4 ||
                  (offsetof(TODAYLISTITEM, cyp) == 72 && offsetof(TODAYLISTITEM, szDLLPath) == 88 &&
                   offsetof(TODAYLISTITEM, hinstDLL) == 608 &&
                   offsetof(TODAYLISTITEM, hwndCustom) == 612 && sizeof(TODAYLISTITEM) == 628),
              "the 32-bit Today host's record");
