// Message boxes: what they record, the default caption, answers taken from the queued actions,
// and a box left unanswered keeping its dialog open.
#include "dialog_harness.h"

namespace {

using DialogMessageBoxTest = DialogTest;

Win32LayerMessageBox Box(int index) {
    Win32LayerMessageBox box = {};
    EXPECT_TRUE(Win32LayerGetMessageBox(index, &box));
    return box;
}

TEST_F(DialogMessageBoxTest, RecordsTextCaptionTypeAndAnswer) {
    Win32LayerQueueAnswerMessageBox(IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"本当に？", u"確認", MB_OKCANCEL | MB_ICONHAND), IDCANCEL);
    Win32LayerQueueAnswerMessageBox(IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"no caption", nullptr, MB_OK | MB_ICONEXCLAMATION), IDOK);
    ASSERT_EQ(Win32LayerMessageBoxCount(), 2);
    Win32LayerMessageBox first = Box(0);
    EXPECT_EQ(std::u16string(first.text), u"本当に？");
    EXPECT_EQ(std::u16string(first.caption), u"確認");
    EXPECT_FALSE(first.default_caption);
    EXPECT_EQ(first.type, 0x11u);
    EXPECT_EQ(first.answer, IDCANCEL);
    Win32LayerMessageBox second = Box(1);
    EXPECT_EQ(std::u16string(second.caption), u"Error");
    EXPECT_TRUE(second.default_caption);
    EXPECT_EQ(second.type, 0x30u);
    EXPECT_FALSE(Win32LayerGetMessageBox(2, &second));
    Win32LayerClearMessageBoxes();
    EXPECT_EQ(Win32LayerMessageBoxCount(), 0);
}

TEST_F(DialogMessageBoxTest, AnswersMustBeButtonsOfTheBox) {
    // Escape on a box with only OK answers OK.
    Win32LayerQueueAnswerMessageBox(IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OK), IDOK);
    // Yes is not a button of an OK/Cancel box: the box stays open and the answer stays queued.
    Win32LayerQueueAnswerMessageBox(IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OKCANCEL), 0);
    EXPECT_EQ(Win32LayerPendingActionCount(), 1);
    Win32LayerClearActions();
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_YESNO), 0);  // nothing queued
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", 0x0F), 0);      // no such set of buttons
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE));
}

TEST_F(DialogMessageBoxTest, AnUnansweredBoxKeepsItsDialogOpen) {
    TestDialog dialog;
    dialog.controls = {{0x50010000, 20, 0x80, u"ask"}};
    int answers[2] = {-1, -1};
    int asked = 0;
    Harness().on_command = [&](HWND owner, WORD id) {
        if (id != 20) return;
        answers[asked++] = MessageBoxW(owner, u"sure?", u"確認", MB_OKCANCEL);
    };
    Win32LayerQueuePressButton(20);
    Win32LayerQueueAnswerMessageBox(IDOK);
    Win32LayerQueuePressButton(20);
    Win32LayerQueuePressButton(20);  // cannot be pressed while the box is open
    EXPECT_EQ(Run(dialog), -1);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(answers[0], IDOK);
    EXPECT_EQ(answers[1], 0);
    EXPECT_EQ(Win32LayerPendingActionCount(), 1);
    ASSERT_EQ(Win32LayerMessageBoxCount(), 2);
    EXPECT_NE(Box(0).owner, nullptr);
    EXPECT_EQ(Box(1).answer, 0);
}

}  // namespace
