/* SPDX-License-Identifier: MIT */
/* decode: the smallest program that uses varnel. It decodes a JPEG file with LoadJpeg, prints
 * the picture's size and writes the bitmap as a Windows bitmap file: the 14-byte file header,
 * the 40-byte BITMAPINFOHEADER of the DIB section and its bits, bottom-up rows as LoadJpeg made
 * them.
 *
 *   decode photo.jpg photo.bmp
 *
 * Plain C89, for Linux (through the Win32-subset layer that comes with varnel) and Windows;
 * the README ("Using varnel in your program") says how to build it with each toolchain. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <varnel.h>

#if defined(_WIN32)
#include <shellapi.h>
#endif

/* A 16- or 32-bit value as the bitmap file's little-endian bytes. */
static void PutLe(unsigned char* out, unsigned long value, int bytes) {
    int i;
    for (i = 0; i < bytes; ++i) out[i] = (unsigned char)((value >> (8 * i)) & 0xFF);
}

#if defined(_WIN32)
/* Windows: the path as the system gave it, in UTF-16. */
static WCHAR* WidePath(int index) {
    int count = 0;
    WCHAR** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    WCHAR* path = NULL;
    size_t length = 0;
    if (arguments == NULL) return NULL;
    if (index < count) {
        while (arguments[index][length] != 0) ++length;
        path = (WCHAR*)malloc((length + 1) * sizeof(WCHAR));
        if (path != NULL) memcpy(path, arguments[index], (length + 1) * sizeof(WCHAR));
    }
    LocalFree(arguments);
    return path;
}
#else
/* Linux: the UTF-8 argument as UTF-16; null when it is not valid UTF-8. */
static WCHAR* WidePath(const char* text) {
    const unsigned char* in = (const unsigned char*)text;
    size_t length = 0;
    WCHAR* out;
    WCHAR* path;
    while (in[length] != 0) ++length;
    /* Each byte gives at most one code unit; a 4-byte sequence gives two. */
    path = out = (WCHAR*)malloc((length + 1) * sizeof(WCHAR));
    if (path == NULL) return NULL;
    while (*in != 0) {
        unsigned long code = *in;
        int extra; /* the continuation bytes that the lead byte announces */
        int i;
        if (code < 0x80)
            extra = 0;
        else if (code >= 0xC2 && code < 0xE0)
            extra = 1;
        else if (code >= 0xE0 && code < 0xF0)
            extra = 2;
        else if (code >= 0xF0 && code < 0xF5)
            extra = 3;
        else
            break;
        code &= extra == 0 ? 0x7F : 0x3F >> extra;
        for (i = 1; i <= extra; ++i) {
            if ((in[i] & 0xC0) != 0x80) break;
            code = code << 6 | (in[i] & 0x3F);
        }
        if (i <= extra || (extra == 2 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            break;
        in += extra + 1;
        if (code >= 0x10000) {
            *out++ = (WCHAR)(0xD800 + ((code - 0x10000) >> 10));
            *out++ = (WCHAR)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            *out++ = (WCHAR)code;
        }
    }
    if (*in != 0) {
        free(path);
        return NULL;
    }
    *out = 0;
    return path;
}
#endif

int main(int argc, char** argv) {
    WCHAR* path;
    POINT size;
    HBITMAP bitmap;
    DIBSECTION section;
    unsigned long bits_size;
    unsigned char head[14];
    FILE* out;
    int written;

    if (argc != 3) {
        fprintf(stderr, "usage: decode JPEG-FILE BMP-FILE\n");
        return 2;
    }
#if defined(_WIN32)
    path = WidePath(1);
#else
    path = WidePath(argv[1]);
#endif
    if (path == NULL) {
        fprintf(stderr, "decode: '%s' is not a usable file name\n", argv[1]);
        return 1;
    }
    size.x = 0;
    size.y = 0;
    /* No window: the bitmap is made for the screen's device context. */
    bitmap = LoadJpeg(NULL, path, &size);
    free(path);
    if (bitmap == NULL) {
        fprintf(stderr, "decode: cannot decode '%s'\n", argv[1]);
        return 1;
    }
    printf("%s: %ld x %ld\n", argv[1], (long)size.x, (long)size.y);

    /* The DIB section's header and bits, as LoadJpeg filled them. */
    if (GetObjectW(bitmap, sizeof(section), &section) != (int)sizeof(section)) {
        fprintf(stderr, "decode: cannot read the bitmap\n");
        DeleteObject(bitmap);
        return 1;
    }
    bits_size = (unsigned long)section.dsBm.bmWidthBytes * (unsigned long)section.dsBm.bmHeight;
    PutLe(head, 0x4D42, 2); /* "BM" */
    PutLe(head + 2, 14 + 40 + bits_size, 4);
    PutLe(head + 6, 0, 4);
    PutLe(head + 10, 14 + 40, 4);
    out = fopen(argv[2], "wb");
    written = out != NULL && fwrite(head, 1, sizeof(head), out) == sizeof(head) &&
              fwrite(&section.dsBmih, 1, 40, out) == 40 &&
              fwrite(section.dsBm.bmBits, 1, bits_size, out) == bits_size;
    if (out != NULL && fclose(out) != 0) written = 0;
    DeleteObject(bitmap);
    if (!written) {
        fprintf(stderr, "decode: cannot write '%s'\n", argv[2]);
        return 1;
    }
    return 0;
}
