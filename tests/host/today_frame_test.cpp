// The host's own parts of the Today screen: the time it is given, the texts it shows, the rows it
// draws on every screen size (leaving the items' rows alone), and its font.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "today_frame.h"

namespace {

struct TimeRow {
    const char* text;
    bool valid;
    const char* date;   // TodayDateText when valid
    const char* clock;  // TodayClockText when valid
};

class TodayTime : public testing::TestWithParam<TimeRow> {};

TEST_P(TodayTime, IsReadAndShownAsTheDeviceShowsIt) {
    TodayFrame frame;
    const TodayFrame before = frame;
    ASSERT_EQ(ParseTodayTime(GetParam().text, &frame), GetParam().valid);
    if (!GetParam().valid) {
        // A refused time leaves the frame as it was.
        EXPECT_EQ(TodayDateText(frame), TodayDateText(before));
        EXPECT_EQ(TodayClockText(frame), TodayClockText(before));
        return;
    }
    EXPECT_EQ(TodayDateText(frame), GetParam().date);
    EXPECT_EQ(TodayClockText(frame), GetParam().clock);
}

INSTANTIATE_TEST_SUITE_P(
    Times, TodayTime,
    testing::Values(
        TimeRow{"2002-03-14 09:41", true, "Thursday, March 14, 2002", "9:41"},
        TimeRow{"2000-01-01 00:05", true, "Saturday, January 1, 2000", "12:05"},
        TimeRow{"2004-02-29 13:30", true, "Sunday, February 29, 2004", "1:30"},
        TimeRow{"1601-01-01 12:00", true, "Monday, January 1, 1601", "12:00"},
        TimeRow{"2026-12-31 23:59", true, "Thursday, December 31, 2026", "11:59"},
        TimeRow{"2002-02-29 10:00", false, "", ""}, TimeRow{"1900-02-29 10:00", false, "", ""},
        TimeRow{"2002-04-31 10:00", false, "", ""}, TimeRow{"2002-13-01 10:00", false, "", ""},
        TimeRow{"2002-03-14 24:00", false, "", ""}, TimeRow{"2002-03-14 09:60", false, "", ""},
        TimeRow{"2002-3-14 9:41", false, "", ""}, TimeRow{"2002-03-14T09:41", false, "", ""},
        TimeRow{"2002-03-14 09:41x", false, "", ""}, TimeRow{"2002-03-14 +9:41", false, "", ""},
        TimeRow{"1600-12-31 10:00", false, "", ""}),
    [](const testing::TestParamInfo<TimeRow>& row) { return "Row" + std::to_string(row.index); });

TEST(TodayOwner, EmptyIsTheDevicesInvitation) {
    TodayFrame frame;
    EXPECT_EQ(TodayOwnerText(frame), "Tap here to set owner information");
    frame.owner = "Ada";
    EXPECT_EQ(TodayOwnerText(frame), "Ada");
}

// --- The rows the frame draws ---

constexpr uint32_t kMark = 0x123456;  // stands for the items' pixels

class TodayFrameSize : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(TodayFrameSize, DrawsItsRowsAndLeavesTheItemsAlone) {
    const int width = GetParam().first;
    const int height = GetParam().second;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, kMark);
    DrawTodayFrame(TodayFrame(), width, height, &pixels);
    const TodayItemArea area = TodayFrameItemArea(width, height);
    EXPECT_EQ(area.top, 66);
    EXPECT_EQ(area.bottom, height - 26);
    auto row_marked = [&](int y) {
        return std::count(pixels.begin() + y * width, pixels.begin() + (y + 1) * width, kMark);
    };
    for (int y = 0; y < height; ++y) {
        if (y >= area.top && y < area.bottom)
            ASSERT_EQ(row_marked(y), width) << "item row " << y;
        else
            ASSERT_EQ(row_marked(y), 0) << "host row " << y;
    }
    // The clock is right-aligned, its last cell ending 6 pixels from the right edge: "9:41"
    // ends in the '1', whose foot spans columns 1 to 3 of its cell.
    int last_white = -1;
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < width; ++x)
            if (pixels[y * width + x] == 0xFFFFFF) last_white = std::max(last_white, x);
    }
    EXPECT_EQ(last_white, width - 6 - kGlyphWidth + 3);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TodayFrameSize,
                         testing::Values(std::make_pair(240, 320), std::make_pair(320, 240),
                                         std::make_pair(480, 640), std::make_pair(176, 220)),
                         [](const testing::TestParamInfo<std::pair<int, int>>& size) {
                             return std::to_string(size.param.first) + "x" +
                                    std::to_string(size.param.second);
                         });

TEST(TodayFrameSize, ATinyScreenIsClippedNotOverrun) {
    for (int height : {1, 25, 52, 80}) {
        std::vector<uint32_t> pixels(static_cast<size_t>(20) * height, kMark);
        DrawTodayFrame(TodayFrame(), 20, height, &pixels);
        EXPECT_EQ(pixels.size(), static_cast<size_t>(20) * height);
    }
}

// --- The font ---

// Draws one character alone and returns its pixels.
std::vector<uint32_t> Glyph(char c, bool bold) {
    std::vector<uint32_t> pixels(kGlyphWidth * kGlyphHeight, 0);
    DrawText(Canvas{kGlyphWidth, kGlyphHeight, &pixels}, 0, 0, kGlyphWidth, std::string(1, c), 1,
             bold);
    return pixels;
}

TEST(BitmapFont, EveryPrintableCharacterHasAGlyphOfItsOwn) {
    std::set<std::vector<uint32_t>> seen;
    for (char c = '!'; c <= '~'; ++c) {
        const std::vector<uint32_t> glyph = Glyph(c, false);
        EXPECT_GT(std::count(glyph.begin(), glyph.end(), 1u), 0) << c;
        EXPECT_TRUE(seen.insert(glyph).second) << c << " looks like another character";
        // The last column stays free for the bold face and the gap between characters.
        for (int row = 0; row < kGlyphHeight; ++row)
            EXPECT_EQ(glyph[row * kGlyphWidth + kGlyphWidth - 1], 0u) << c;
    }
    EXPECT_EQ(Glyph(' ', false), std::vector<uint32_t>(kGlyphWidth * kGlyphHeight, 0));
}

TEST(BitmapFont, BoldWidensEveryStroke) {
    for (char c = '!'; c <= '~'; ++c) {
        const std::vector<uint32_t> regular = Glyph(c, false);
        const std::vector<uint32_t> bold = Glyph(c, true);
        for (size_t i = 0; i < regular.size(); ++i) {
            if (regular[i] == 0) continue;
            EXPECT_EQ(bold[i], 1u) << c;
            EXPECT_EQ(bold[i + 1], 1u) << c;
        }
    }
}

TEST(BitmapFont, TextIsMeasuredByCharactersAndClippedWhole) {
    EXPECT_EQ(TextWidth("Today"), 30);
    EXPECT_EQ(TextWidth("Zo\xC3\xAB \xE6\x97\xA5"), 30);  // five code points
    std::vector<uint32_t> pixels(40 * 12, 0);
    const Canvas canvas{40, 12, &pixels};
    // "Today" within 28 columns: four whole characters.
    EXPECT_EQ(DrawText(canvas, 2, 0, 30, "Today", 1, false), 26);
    for (int y = 0; y < 12; ++y) {
        for (int x = 26; x < 40; ++x) EXPECT_EQ(pixels[y * 40 + x], 0u) << x << "," << y;
    }
    // A character outside ASCII is drawn as '?'.
    std::vector<uint32_t> question(kGlyphWidth * kGlyphHeight, 0);
    DrawText(Canvas{kGlyphWidth, kGlyphHeight, &question}, 0, 0, kGlyphWidth, "\xC3\xAB", 1, false);
    EXPECT_EQ(question, Glyph('?', false));
}

}  // namespace
