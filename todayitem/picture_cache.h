// The picture cache: the configured picture composed once, at window creation, into a white
// bitmap of the window's size; every paint copies from it.
#pragma once

#include <windows.h>

// True for a path whose extension (the text from its last '.') is ".jpg" or ".jpeg" in any
// letter case; every other path is read as a Windows bitmap file.
bool IsJpegPath(const WCHAR* path);

// Rebuilds the cache for the window from the stored settings.
void BuildPictureCache(HWND window);
// Copies the damaged rectangle of the window from the cache; nothing without a cache.
void PaintFromCache(HWND window, HDC dc, const RECT* damaged);
// Deletes the cache, if there is one.
void DropPictureCache();
