// Text conversion at the boundary: UTF-16 from the API to the UTF-8 of Linux calls and back.
#include <gtest/gtest.h>

#include <string>

#include "utf16_path.h"

namespace {

TEST(Utf16PathTest, RoundTripsEveryPlane) {
    const std::u16string kTexts[] = {u"", u"plain.jpg", u"ü", u"写真\\画像.jpeg",
                                     u"\U0001F5BC\U00010000\U0010FFFF"};
    for (const std::u16string& text : kTexts) {
        std::string utf8;
        ASSERT_TRUE(Utf16ToUtf8(text.c_str(), &utf8));
        std::u16string back;
        ASSERT_TRUE(Utf8ToUtf16(utf8, &back));
        EXPECT_EQ(back, text);
    }
    std::string utf8;
    ASSERT_TRUE(Utf16ToUtf8(u"\U0001F5BC", &utf8));
    EXPECT_EQ(utf8, "\xF0\x9F\x96\xBC");
}

TEST(Utf16PathTest, UnpairedSurrogatesAreRefused) {
    const char16_t kLowAlone[] = {u'a', 0xDC00, 0};
    const char16_t kHighAtEnd[] = {u'a', 0xD83D, 0};
    const char16_t kHighThenLetter[] = {0xD83D, u'b', 0};
    std::string utf8;
    EXPECT_FALSE(Utf16ToUtf8(kLowAlone, &utf8));
    EXPECT_FALSE(Utf16ToUtf8(kHighAtEnd, &utf8));
    EXPECT_FALSE(Utf16ToUtf8(kHighThenLetter, &utf8));
}

TEST(Utf16PathTest, MalformedUtf8IsRefused) {
    const std::string kBad[] = {
        "\x80",              // continuation without a lead
        "\xC3",              // cut short
        "\xE5\x86",          // cut short
        "\xC0\xAF",          // overlong slash
        "\xED\xA0\x80",      // a surrogate code point
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xFF",
    };
    for (const std::string& bad : kBad) {
        std::u16string out;
        EXPECT_FALSE(Utf8ToUtf16(bad, &out)) << bad.size();
    }
}

TEST(Utf16PathTest, BackslashesBecomeSlashes) {
    std::string path;
    ASSERT_TRUE(WindowsPathToLinux(u"\\My Documents\\写真.jpg", &path));
    EXPECT_EQ(path, "/My Documents/\xE5\x86\x99\xE7\x9C\x9F.jpg");
}

}  // namespace
