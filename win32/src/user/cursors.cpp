// Cursors. The layer draws no pointer: the stock cursors are distinct handle values that
// SetCursor records, so that code can show the busy cursor and put the previous one back.
#include "window_object.h"

namespace {

struct StockCursor {
    WORD id;
    int placeholder;
};

StockCursor stock_cursors[] = {{32512, 0}, {32513, 0}, {32514, 0}, {32515, 0}};

HCURSOR current_cursor = nullptr;

}  // namespace

extern "C" WIN32LAYER_API HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    // Cursors of a module would come from its resources; the layer has only the stock ones.
    if (instance == nullptr && IS_INTRESOURCE(name)) {
        for (StockCursor& cursor : stock_cursors) {
            if (cursor.id == reinterpret_cast<ULONG_PTR>(name)) {
                return reinterpret_cast<HCURSOR>(&cursor);
            }
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

extern "C" WIN32LAYER_API HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = current_cursor;
    current_cursor = cursor;
    return previous;
}

extern "C" WIN32LAYER_API HCURSOR WINAPI GetCursor() {
    return current_cursor;
}
