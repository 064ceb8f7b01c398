// The dialog template parser on byte buffers: both template forms, names as ordinals and
// strings, creation data, and damaged input, which must fail without reading outside the
// buffer (each prefix is copied to a buffer of exactly its size, so that AddressSanitizer sees
// any read past it).
#include <gtest/gtest.h>

#include <memory>

#include "dialog_template.h"
#include "dialog_template_writer.h"

namespace {

TestDialog SampleDialog(bool extended) {
    TestDialog dialog;
    dialog.extended = extended;
    dialog.title = u"設定";
    dialog.font = u"ＭＳ Ｐゴシック";
    dialog.x = 0;
    dialog.y = 15;
    dialog.controls = {
        {0x50020080, 0xFFFF, 0x82, u"two\nlines", 8, 91, 95, 21},
        {0x50010000, 1000, 0x80, u"button", 67, 158, 61, 14},
        {0x50812080, 1004, 0x81, u"", 57, 70, 40, 14},
        {0x50210003, 1003, 0x85, u"", 46, 45, 82, 72},
        {0x50000000, 7, 0, u"named", 1, 2, 3, 4, u"MyClass", {1, 2, 3}},
    };
    return dialog;
}

bool ParseExact(const std::vector<uint8_t>& bytes, size_t size, DialogTemplate* out) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size > 0 ? size : 1]);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), exact.get());
    return ParseDialogTemplate(exact.get(), size, out);
}

TEST(DialogTemplateTest, ReadsEveryFieldOfBothForms) {
    for (bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "DLGTEMPLATEEX" : "DLGTEMPLATE");
        std::vector<uint8_t> bytes = WriteDialogTemplate(SampleDialog(extended));
        DialogTemplate dialog;
        ASSERT_TRUE(ParseExact(bytes, bytes.size(), &dialog));
        EXPECT_EQ(dialog.extended, extended);
        EXPECT_EQ(dialog.style, 0x80C00040u);
        EXPECT_EQ(dialog.y, 15);
        EXPECT_EQ(dialog.cx, 135);
        EXPECT_EQ(dialog.cy, 181);
        EXPECT_FALSE(dialog.menu.present);
        EXPECT_FALSE(dialog.window_class.present);
        EXPECT_EQ(dialog.title.text, u"設定");
        EXPECT_TRUE(dialog.has_font);
        EXPECT_EQ(dialog.point_size, 9);
        EXPECT_EQ(dialog.typeface, u"ＭＳ Ｐゴシック");
        if (extended) {
            EXPECT_EQ(dialog.weight, 400);
            EXPECT_EQ(dialog.italic, 1);
            EXPECT_EQ(dialog.charset, 0x80);
        }
        ASSERT_EQ(dialog.items.size(), 5u);
        const DialogItemTemplate& first = dialog.items[0];
        EXPECT_EQ(first.style, 0x50020080u);
        EXPECT_EQ(first.id, 0xFFFFu);
        EXPECT_TRUE(first.window_class.is_ordinal);
        EXPECT_EQ(first.window_class.ordinal, 0x82);
        EXPECT_EQ(first.title.text, u"two\nlines");
        EXPECT_EQ(first.x, 8);
        EXPECT_EQ(first.cy, 21);
        EXPECT_EQ(dialog.items[1].id, 1000u);
        EXPECT_EQ(dialog.items[2].style, 0x50812080u);
        EXPECT_FALSE(dialog.items[2].title.present);
        EXPECT_EQ(dialog.items[3].window_class.ordinal, 0x85);
        const DialogItemTemplate& named = dialog.items[4];
        EXPECT_FALSE(named.window_class.is_ordinal);
        EXPECT_EQ(named.window_class.text, u"MyClass");
        EXPECT_EQ(named.creation_data, (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(named.help_id, extended ? 77u : 0u);
    }
}

TEST(DialogTemplateTest, WithoutSetFontThereIsNoFontBlock) {
    TestDialog sample;
    sample.style = 0x80C00000;
    sample.controls = {{0x50000000, 5, 0x82, u"x"}};
    std::vector<uint8_t> bytes = WriteDialogTemplate(sample);
    DialogTemplate dialog;
    ASSERT_TRUE(ParseExact(bytes, bytes.size(), &dialog));
    EXPECT_FALSE(dialog.has_font);
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_EQ(dialog.items[0].title.text, u"x");
}

TEST(DialogTemplateTest, MenuAndClassOrdinalsAndTitleOrdinal) {
    TemplateBytes out;
    out.Dword(0x80000000);  // WS_POPUP, no font
    out.Dword(0);
    out.Word(1);
    for (int i = 0; i < 4; ++i) out.Word(10);
    out.Word(0xFFFF);
    out.Word(42);  // menu 42
    out.Word(0xFFFF);
    out.Word(0x8002);  // class by atom
    out.String(u"T");
    out.Align();
    out.Dword(0x50000003);  // SS_ICON
    out.Dword(0);
    for (int i = 0; i < 4; ++i) out.Word(1);
    out.Word(9);
    out.Word(0xFFFF);
    out.Word(0x82);
    out.Word(0xFFFF);
    out.Word(300);  // the icon resource 300 as the title
    out.Word(0);
    DialogTemplate dialog;
    ASSERT_TRUE(ParseExact(out.bytes(), out.bytes().size(), &dialog));
    EXPECT_TRUE(dialog.menu.is_ordinal);
    EXPECT_EQ(dialog.menu.ordinal, 42);
    EXPECT_EQ(dialog.window_class.ordinal, 0x8002);
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_TRUE(dialog.items[0].title.is_ordinal);
    EXPECT_EQ(dialog.items[0].title.ordinal, 300);
}

TEST(DialogTemplateTest, EveryTruncationFails) {
    for (bool extended : {false, true}) {
        std::vector<uint8_t> bytes = WriteDialogTemplate(SampleDialog(extended));
        for (size_t size = 0; size < bytes.size(); ++size) {
            DialogTemplate dialog;
            EXPECT_FALSE(ParseExact(bytes, size, &dialog)) << "prefix of " << size << " bytes";
        }
    }
}

TEST(DialogTemplateTest, DamagedTemplatesFail) {
    std::vector<uint8_t> bytes = WriteDialogTemplate(SampleDialog(false));
    DialogTemplate dialog;

    // An item count larger than the items present.
    std::vector<uint8_t> more = bytes;
    more[8] = 0xFF;
    more[9] = 0xFF;
    EXPECT_FALSE(ParseExact(more, more.size(), &dialog));

    // The title's terminator removed: the string runs to the end of the buffer.
    TestDialog untitled;
    untitled.style = 0x80000000;
    untitled.title = u"abc";
    untitled.controls = {};
    std::vector<uint8_t> open = WriteDialogTemplate(untitled);
    open.resize(open.size() - 2);
    EXPECT_FALSE(ParseExact(open, open.size(), &dialog));

    // An extended template of another version.
    std::vector<uint8_t> ex = WriteDialogTemplate(SampleDialog(true));
    ex[0] = 2;
    EXPECT_FALSE(ParseExact(ex, ex.size(), &dialog));

    // Creation data longer than what is left.
    TestDialog data;
    data.controls = {{0x50000000, 1, 0x82, u"", 0, 0, 1, 1, {}, {9, 9}}};
    std::vector<uint8_t> short_data = WriteDialogTemplate(data);
    short_data[short_data.size() - 4] = 40;
    EXPECT_FALSE(ParseExact(short_data, short_data.size(), &dialog));

    EXPECT_FALSE(ParseDialogTemplate(nullptr, 10, &dialog));
}

TEST(DialogTemplateTest, PredefinedClassOrdinals) {
    EXPECT_EQ(std::u16string(PredefinedControlClass(0x80)), u"BUTTON");
    EXPECT_EQ(std::u16string(PredefinedControlClass(0x81)), u"EDIT");
    EXPECT_EQ(std::u16string(PredefinedControlClass(0x82)), u"STATIC");
    EXPECT_EQ(std::u16string(PredefinedControlClass(0x85)), u"COMBOBOX");
    EXPECT_EQ(PredefinedControlClass(0x86), nullptr);
    EXPECT_EQ(PredefinedControlClass(0x7F), nullptr);
}

}  // namespace
