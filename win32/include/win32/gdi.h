/* GDI: device contexts, bitmaps and DIB sections, brushes, block copies. Compiles as C and C++
 * (see base.h). */
#pragma once

#include "win32/base.h"

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL

#define SRCCOPY 0x00CC0020UL
#define CLR_INVALID 0xFFFFFFFFUL

/* GetDeviceCaps indices. */
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14

#pragma pack(push, 2)
typedef struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(BITMAPFILEHEADER) == 14, "the file header is 14 bytes");
#endif

typedef struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;
#ifdef __cplusplus
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the information header is 40 bytes");
#endif
typedef BITMAPINFOHEADER* LPBITMAPINFOHEADER;

typedef struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO;
typedef BITMAPINFO* LPBITMAPINFO;

typedef struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

typedef struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH;

typedef struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION;

#ifdef __cplusplus
extern "C" {
#endif
WIN32LAYER_API HDC WINAPI GetDC(HWND window);
WIN32LAYER_API int WINAPI ReleaseDC(HWND window, HDC dc);
WIN32LAYER_API HDC WINAPI CreateCompatibleDC(HDC dc);
WIN32LAYER_API BOOL WINAPI DeleteDC(HDC dc);
WIN32LAYER_API int WINAPI GetDeviceCaps(HDC dc, int index);
WIN32LAYER_API HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage,
                                               void** bits, HANDLE section, DWORD offset);
WIN32LAYER_API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
WIN32LAYER_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
WIN32LAYER_API HGDIOBJ WINAPI GetStockObject(int index);
WIN32LAYER_API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
WIN32LAYER_API BOOL WINAPI DeleteObject(HGDIOBJ object);
WIN32LAYER_API int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID out);
WIN32LAYER_API DWORD WINAPI GetObjectType(HGDIOBJ object);

WIN32LAYER_API int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
WIN32LAYER_API BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source,
                                  int source_x, int source_y, DWORD rop);
WIN32LAYER_API BOOL WINAPI StretchBlt(HDC dest, int x, int y, int width, int height, HDC source,
                                      int source_x, int source_y, int source_width,
                                      int source_height, DWORD rop);
WIN32LAYER_API COLORREF WINAPI GetPixel(HDC dc, int x, int y);
WIN32LAYER_API COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color);
#ifdef __cplusplus
}
#endif

#define GetObject GetObjectW
