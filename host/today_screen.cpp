#include "today_screen.h"

#include <windows.h>

#include <cstring>

#include "item_registration.h"
#include "picture_check.h"
#include "pocketpc.h"
#include "registry_status.h"
#include "host_platform.h"
#include "text.h"

namespace {

const WCHAR kHostClass[] = TEXT("TodayHostEmulatorWnd");

LRESULT CALLBACK HostWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

struct LoadedItem {
    TodayItemRegistration registration;
    HMODULE library;
    TODAYLISTITEM record;
};

HWND CreateHostWindow(int width, int height) {
    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = HostWndProc;
    host_class.hInstance = GetModuleHandleW(nullptr);
    host_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    host_class.lpszClassName = kHostClass;
    RegisterClassW(&host_class);
    return CreateWindowExW(0, kHostClass, TEXT("Today"), WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, host_class.hInstance, nullptr);
}

// Loads one item's library and calls its initialisation export as the Today host does. False,
// with the reason, when the item shows nothing.
bool InitializeItem(const TodayItemRegistration& registration, HWND host, LoadedItem* item,
                    std::string* reason) {
    item->registration = registration;
    item->library = LoadLibraryW(registration.library.c_str());
    if (item->library == nullptr) {
        *reason = "cannot load " + WideToUtf8(registration.library.c_str());
        return false;
    }
    // Through void (*)(): FARPROC stands for any function type.
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(reinterpret_cast<void (*)()>(
        GetProcAddress(item->library, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
    if (initialize == nullptr) {
        *reason = "the library has no export ordinal 240";
        return false;
    }
    memset(&item->record, 0, sizeof(item->record));
    size_t name_length =
        registration.name.size() < MAX_ITEMNAME - 1 ? registration.name.size() : MAX_ITEMNAME - 1;
    registration.name.copy(item->record.szName, name_length);
    item->record.tlit = tlitCustom;
    item->record.dwOrder = registration.order;
    item->record.fEnabled = TRUE;
    item->record.fOptions = registration.options != 0;
    item->record.grfFlags = registration.flags;
    HWND window = initialize(&item->record, host);
    if (window == nullptr) {
        *reason = "the item created no window";
        return false;
    }
    // The host keeps the window that the item reported.
    item->record.hwndCustom = window;
    return true;
}

// Paints the item window and copies it onto the screen at row y, above row bottom; returns the
// rows it takes.
int ShowItem(LoadedItem* item, HDC screen_dc, int screen_width, int y, int bottom) {
    HWND window = item->record.hwndCustom;
    // Ask, as the host does before drawing, whether the item wants to be measured again; an
    // item that answers yes has updated cyp in the record, which is read below either way.
    SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item->record),
                 0);
    // Place the window at its row of the screen, keeping the size the item gave it.
    RECT frame = {0, 0, 0, 0};
    GetWindowRect(window, &frame);
    MoveWindow(window, 0, y, frame.right - frame.left, frame.bottom - frame.top, FALSE);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    int height = static_cast<int>(item->record.cyp);
    if (height < 0) height = 0;
    if (height > bottom - y) height = bottom - y;
    if (height > 0) {
        HDC item_dc = GetDC(window);
        BitBlt(screen_dc, 0, y, screen_width, height, item_dc, 0, 0, SRCCOPY);
        ReleaseDC(window, item_dc);
    }
    return height;
}

}  // namespace

bool RenderTodayScreen(int width, int height, const TodayFrame* frame, int hold_seconds,
                       TodayScreen* screen, std::string* error) {
    screen->width = width;
    screen->height = height;
    screen->items_shown = 0;
    screen->warnings.clear();
    SetEmulatedScreenSize(width, height);

    std::vector<TodayItemRegistration> registrations;
    LSTATUS status = ReadTodayItems(&registrations);
    if (status != ERROR_SUCCESS) {
        *error = "cannot read the Today item list (" + RegistryStatusText(status) + ")";
        return false;
    }

    HWND host = CreateHostWindow(width, height);
    if (host == nullptr) {
        *error = "cannot create the host window" + HostWindowAdvice();
        return false;
    }
    HDC host_dc = GetDC(host);
    HDC screen_dc = CreateCompatibleDC(host_dc);
    HBITMAP screen_bitmap = CreateCompatibleBitmap(host_dc, width, height);
    HGDIOBJ screen_dc_bitmap = SelectObject(screen_dc, screen_bitmap);
    RECT whole = {0, 0, width, height};
    FillRect(screen_dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    std::vector<LoadedItem> items;
    items.reserve(registrations.size());
    for (const TodayItemRegistration& registration : registrations) {
        if (!registration.enabled || registration.type != TODAY_ITEM_TYPE_CUSTOM) continue;
        LoadedItem item = {};
        std::string reason;
        if (!InitializeItem(registration, host, &item, &reason)) {
            screen->warnings.push_back(WideToUtf8(registration.name.c_str()) + ": " + reason);
            if (item.library != nullptr) FreeLibrary(item.library);
            continue;
        }
        items.push_back(item);
    }

    // The picture item says nothing when its picture does not appear; the host says why.
    for (const LoadedItem& item : items) {
        if (WideToUtf8(item.registration.name.c_str()) != kPictureItemName) continue;
        PictureSettings settings = DefaultPictureSettings();
        LoadPictureSettings(&settings);
        const std::string problem = FindPictureProblem(settings);
        if (!problem.empty())
            screen->warnings.push_back(std::string(kPictureItemName) + ": " + problem);
    }

    const TodayItemArea area =
        frame != nullptr ? TodayFrameItemArea(width, height) : TodayItemArea{0, height};
    int y = area.top;
    for (LoadedItem& item : items) {
        if (y >= area.bottom) break;
        y += ShowItem(&item, screen_dc, width, y, area.bottom);
        ++screen->items_shown;
    }

    // The bitmap is read once it is out of the device context, as GetDIBits wants.
    SelectObject(screen_dc, screen_dc_bitmap);
    bool read = ReadBitmapPixels(screen_bitmap, width, height, &screen->pixels);
    if (read && frame != nullptr) DrawTodayFrame(*frame, width, height, &screen->pixels);
    if (hold_seconds > 0) KeepOnScreen(host, hold_seconds, *screen);

    // Close down as the host does when it leaves the Today screen.
    for (LoadedItem& item : items) {
        SendMessageW(item.record.hwndCustom, WM_TODAYCUSTOM_CLEARCACHE,
                     reinterpret_cast<WPARAM>(&item.record), 0);
        DestroyWindow(item.record.hwndCustom);
    }
    DeleteObject(screen_bitmap);
    DeleteDC(screen_dc);
    ReleaseDC(host, host_dc);
    DestroyWindow(host);
    for (LoadedItem& item : items) FreeLibrary(item.library);

    if (!read) {
        *error = "cannot read the screen back";
        return false;
    }
    return true;
}
