// Rectangle helpers.
#include "win32/user.h"

extern "C" WIN32LAYER_API BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right,
                                              int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI IsRectEmpty(const RECT* rect) {
    return rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top;
}

extern "C" WIN32LAYER_API BOOL WINAPI IntersectRect(LPRECT out, const RECT* a, const RECT* b) {
    if (out == nullptr || a == nullptr || b == nullptr) return FALSE;
    RECT r = {a->left > b->left ? a->left : b->left, a->top > b->top ? a->top : b->top,
              a->right < b->right ? a->right : b->right,
              a->bottom < b->bottom ? a->bottom : b->bottom};
    if (IsRectEmpty(&r)) {
        *out = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *out = r;
    return TRUE;
}
