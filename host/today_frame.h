// What the Today host itself draws around the items, as the Pocket PC 2002 shows it: the
// navigation bar at the top (the Start flag, "Today" and the clock), the date and owner lines,
// and the command bar at the bottom ("New" and the input panel button). The items go between the
// owner line and the command bar. Drawn into the screen's pixels, the same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The moment and owner the screen shows. Fixed by default, so that the same settings give the
// same picture.
struct TodayFrame {
    int year = 2002;
    int month = 3;  // 1 to 12
    int day = 14;
    int hour = 9;  // 0 to 23
    int minute = 41;
    std::string owner;  // UTF-8; empty: the device's invitation to enter it
};

// Reads "YYYY-MM-DD HH:MM" (a real date from 1601 to 9999, 24-hour time) into frame.
bool ParseTodayTime(const std::string& text, TodayFrame* frame);

// The rows of the screen the items take: from top to bottom (exclusive). Empty (bottom not
// above top) on a screen too small for them.
struct TodayItemArea {
    int top;
    int bottom;
};
TodayItemArea TodayFrameItemArea(int width, int height);

// Draws the host's parts over the screen's pixels (0x00RRGGBB, top row first), leaving the item
// area as it is.
void DrawTodayFrame(const TodayFrame& frame, int width, int height, std::vector<uint32_t>* pixels);

// The texts the frame shows: "9:41", "Thursday, March 14, 2002", and the owner line.
std::string TodayClockText(const TodayFrame& frame);
std::string TodayDateText(const TodayFrame& frame);
std::string TodayOwnerText(const TodayFrame& frame);
