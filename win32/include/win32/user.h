// Windows and messages: window classes, window creation and destruction, the default window
// procedure, geometry, painting, window text, cursors, screen metrics and system colours.
//
// The layer draws no frames or captions: a window's client area is the whole window. Each
// window paints into an off-screen surface of its client size (32 bits per pixel), which the
// host reads back with Win32LayerReadWindow.
#pragma once

#include "win32/base.h"
#include "win32/gdi.h"

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
typedef WNDCLASSW* LPWNDCLASSW;

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
typedef CREATESTRUCTW* LPCREATESTRUCTW;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008

#define CW_USEDEFAULT (static_cast<int>(0x80000000))

// Window fields.
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWLP_USERDATA (-21)

// SetWindowPos flags.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

// GetSystemMetrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// Stock cursors.
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)

// System colours.
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20

#define ERROR_INVALID_INDEX 1413L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L

extern "C" {
WIN32LAYER_API ATOM WINAPI RegisterClassW(const WNDCLASSW* window_class);
WIN32LAYER_API BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE instance);
WIN32LAYER_API HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title,
                                           DWORD style, int x, int y, int width, int height,
                                           HWND parent, HMENU menu, HINSTANCE instance,
                                           LPVOID param);
WIN32LAYER_API BOOL WINAPI DestroyWindow(HWND window);
WIN32LAYER_API BOOL WINAPI IsWindow(HWND window);
WIN32LAYER_API BOOL WINAPI IsWindowVisible(HWND window);
WIN32LAYER_API BOOL WINAPI ShowWindow(HWND window, int command);
WIN32LAYER_API LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);
WIN32LAYER_API LRESULT WINAPI CallWindowProcW(WNDPROC procedure, HWND window, UINT message,
                                              WPARAM wparam, LPARAM lparam);
WIN32LAYER_API LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
WIN32LAYER_API HWND WINAPI GetParent(HWND window);
WIN32LAYER_API BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
WIN32LAYER_API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
WIN32LAYER_API BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height,
                                      BOOL repaint);
WIN32LAYER_API BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int width,
                                        int height, UINT flags);
WIN32LAYER_API int WINAPI GetSystemMetrics(int index);
WIN32LAYER_API DWORD WINAPI GetSysColor(int index);
WIN32LAYER_API BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
WIN32LAYER_API BOOL WINAPI ValidateRect(HWND window, const RECT* rect);
WIN32LAYER_API BOOL WINAPI GetUpdateRect(HWND window, LPRECT rect, BOOL erase);
WIN32LAYER_API BOOL WINAPI UpdateWindow(HWND window);
WIN32LAYER_API HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint);
WIN32LAYER_API BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
WIN32LAYER_API int WINAPI GetWindowTextW(HWND window, LPWSTR text, int capacity);
WIN32LAYER_API int WINAPI GetWindowTextLengthW(HWND window);
WIN32LAYER_API BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
WIN32LAYER_API LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
WIN32LAYER_API LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
WIN32LAYER_API LONG WINAPI GetWindowLongW(HWND window, int index);
WIN32LAYER_API LONG WINAPI SetWindowLongW(HWND window, int index, LONG value);
WIN32LAYER_API HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name);
WIN32LAYER_API HCURSOR WINAPI SetCursor(HCURSOR cursor);
WIN32LAYER_API HCURSOR WINAPI GetCursor();
WIN32LAYER_API BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom);
WIN32LAYER_API BOOL WINAPI IntersectRect(LPRECT out, const RECT* a, const RECT* b);
WIN32LAYER_API BOOL WINAPI IsRectEmpty(const RECT* rect);
}

#define RegisterClass RegisterClassW
#define UnregisterClass UnregisterClassW
#define CreateWindowEx CreateWindowExW
#define CreateWindowW(class_name, title, style, x, y, width, height, parent, menu, instance, \
                      param)                                                                 \
    CreateWindowExW(0, class_name, title, style, x, y, width, height, parent, menu, instance, param)
#define CreateWindow CreateWindowW
#define DefWindowProc DefWindowProcW
#define CallWindowProc CallWindowProcW
#define SendMessage SendMessageW
#define GetWindowText GetWindowTextW
#define GetWindowTextLength GetWindowTextLengthW
#define SetWindowText SetWindowTextW
#define GetWindowLongPtr GetWindowLongPtrW
#define SetWindowLongPtr SetWindowLongPtrW
#define GetWindowLong GetWindowLongW
#define SetWindowLong SetWindowLongW
#define LoadCursor LoadCursorW
#define WNDCLASS WNDCLASSW
#define CREATESTRUCT CREATESTRUCTW
