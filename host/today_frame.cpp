#include "today_frame.h"

#include <cstdio>

#include "bitmap_font.h"

namespace {

// Heights in pixels, as on the device's 240 x 320 screen; other sizes keep them.
constexpr int kBarHeight = 26;  // the navigation bar and the command bar
constexpr int kRowHeight = 20;  // the date and owner lines

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kNavigationTop = 0x3159C6;  // the navigation bar's gradient, top to bottom
constexpr uint32_t kNavigationBottom = 0x08248C;
constexpr uint32_t kSeparator = 0xC6C3C6;
constexpr uint32_t kCommandFace = 0xD6D3CE;
constexpr uint32_t kCommandEdge = 0x848284;
constexpr uint32_t kOwnerText = 0x31308C;
constexpr uint32_t kCalendarRed = 0xC62021;
constexpr uint32_t kFlagColors[4] = {0xF25022, 0x7FBA00, 0x00A4EF, 0xFFB900};

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 0 for Sunday, of a date of the Gregorian calendar.
int DayOfWeek(int year, int month, int day) {
    static const int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7;
}

uint32_t Blend(uint32_t from, uint32_t to, int step, int steps) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int a = static_cast<int>((from >> shift) & 0xFF);
        const int b = static_cast<int>((to >> shift) & 0xFF);
        result |= static_cast<uint32_t>(a + (b - a) * step / steps) << shift;
    }
    return result;
}

// The Start button's four-colour flag, 13 pixels square, at (left, top).
void DrawFlag(Canvas canvas, int left, int top) {
    for (int quarter = 0; quarter < 4; ++quarter)
        FillBox(canvas, left + (quarter % 2) * 7, top + (quarter / 2) * 7, 6, 6,
                kFlagColors[quarter]);
}

// The date line's calendar page, 14 pixels square, at (left, top).
void DrawCalendar(Canvas canvas, int left, int top) {
    FillBox(canvas, left, top, 14, 14, kCommandEdge);
    FillBox(canvas, left + 1, top + 1, 12, 12, kWhite);
    FillBox(canvas, left + 1, top + 1, 12, 3, kCalendarRed);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column)
            FillBox(canvas, left + 2 + column * 3, top + 6 + row * 2, 2, 1, kCommandEdge);
    }
}

// The input panel's button: a keyboard, 18 x 11 pixels, at (left, top).
void DrawKeyboard(Canvas canvas, int left, int top) {
    FillBox(canvas, left, top, 18, 11, kBlack);
    FillBox(canvas, left + 1, top + 1, 16, 9, kWhite);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column)
            FillBox(canvas, left + 2 + column * 3, top + 2 + row * 2, 2, 1, kBlack);
    }
    FillBox(canvas, left + 5, top + 8, 8, 1, kBlack);  // the space bar
}

void DrawNavigationBar(const TodayFrame& frame, Canvas canvas) {
    for (int y = 0; y < kBarHeight; ++y)
        FillBox(canvas, 0, y, canvas.width, 1,
                Blend(kNavigationTop, kNavigationBottom, y, kBarHeight - 1));
    const int text_top = (kBarHeight - kGlyphHeight) / 2 + 1;
    DrawFlag(canvas, 5, (kBarHeight - 13) / 2);
    const std::string clock = TodayClockText(frame);
    const int clock_left = canvas.width - 6 - TextWidth(clock);
    DrawText(canvas, clock_left, text_top, canvas.width, clock, kWhite, false);
    DrawText(canvas, 24, text_top, clock_left - 6, "Today", kWhite, true);
}

void DrawInformationRow(Canvas canvas, int top, const std::string& text, uint32_t color, bool bold,
                        bool calendar) {
    FillBox(canvas, 0, top, canvas.width, kRowHeight, kWhite);
    if (calendar) DrawCalendar(canvas, 5, top + 3);
    DrawText(canvas, 24, top + (kRowHeight - kGlyphHeight) / 2, canvas.width - 2, text, color,
             bold);
    FillBox(canvas, 0, top + kRowHeight - 1, canvas.width, 1, kSeparator);
}

void DrawCommandBar(Canvas canvas) {
    const int top = canvas.height - kBarHeight;
    FillBox(canvas, 0, top, canvas.width, kBarHeight, kCommandFace);
    FillBox(canvas, 0, top, canvas.width, 1, kCommandEdge);
    FillBox(canvas, 0, top + 1, canvas.width, 1, kWhite);
    const int text_top = top + (kBarHeight - kGlyphHeight) / 2 + 1;
    const int keyboard_left = canvas.width - 24;
    int x = DrawText(canvas, 6, text_top, keyboard_left - 2, "New", kBlack, true);
    // The menu's arrow, pointing up, beside "New".
    if (x + 8 <= keyboard_left) {
        for (int row = 0; row < 3; ++row)
            FillBox(canvas, x + 4 - row, text_top + 5 + row, 1 + 2 * row, 1, kBlack);
    }
    DrawKeyboard(canvas, keyboard_left, top + (kBarHeight - 11) / 2 + 1);
}

}  // namespace

bool ParseTodayTime(const std::string& text, TodayFrame* frame) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    char tail = 0;
    if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &tail) != 5)
        return false;
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59)
        return false;
    frame->year = year;
    frame->month = month;
    frame->day = day;
    frame->hour = hour;
    frame->minute = minute;
    return true;
}

std::string TodayClockText(const TodayFrame& frame) {
    char text[8];
    const int hour = frame.hour % 12 == 0 ? 12 : frame.hour % 12;
    std::snprintf(text, sizeof(text), "%d:%02d", hour, frame.minute % 60);
    return text;
}

std::string TodayDateText(const TodayFrame& frame) {
    return std::string(kDayNames[DayOfWeek(frame.year, frame.month, frame.day)]) + ", " +
           kMonthNames[frame.month - 1] + " " + std::to_string(frame.day) + ", " +
           std::to_string(frame.year);
}

std::string TodayOwnerText(const TodayFrame& frame) {
    return frame.owner.empty() ? "Tap here to set owner information" : frame.owner;
}

TodayItemArea TodayFrameItemArea(int, int height) {
    return {kBarHeight + 2 * kRowHeight, height - kBarHeight};
}

void DrawTodayFrame(const TodayFrame& frame, int width, int height, std::vector<uint32_t>* pixels) {
    const Canvas canvas = {width, height, pixels};
    DrawNavigationBar(frame, canvas);
    DrawInformationRow(canvas, kBarHeight, TodayDateText(frame), kBlack, true, true);
    DrawInformationRow(canvas, kBarHeight + kRowHeight, TodayOwnerText(frame), kOwnerText, false,
                       false);
    DrawCommandBar(canvas);
}
