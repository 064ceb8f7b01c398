// Text for the emulated Today screen's own parts, drawn by the host pixel by pixel so that the
// Linux and Windows builds give the same picture: a 6 x 12 cell font of the printable ASCII
// characters (the X11 "misc-fixed" 6x12 font, which its authors put in the public domain), with
// a bold face made by drawing each glyph twice, one pixel apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture to draw into: 0x00RRGGBB pixels, top row first. Drawing is clipped to it.
struct Canvas {
    int width;
    int height;
    std::vector<uint32_t>* pixels;
};

inline constexpr int kGlyphWidth = 6;
inline constexpr int kGlyphHeight = 12;

void FillBox(Canvas canvas, int left, int top, int width, int height, uint32_t color);

// The width in pixels of the text as DrawText draws it (one cell per character; a code point
// outside printable ASCII shows as '?').
int TextWidth(const std::string& utf8);

// Draws the text with its cell's top-left corner at (left, top), up to the column max_right
// (exclusive): characters that do not fit whole are left out. Returns the column after the last
// character drawn.
int DrawText(Canvas canvas, int left, int top, int max_right, const std::string& utf8,
             uint32_t color, bool bold);
