// Modal dialogs run by a person's queued actions: WM_INITDIALOG, EndDialog's result, buttons,
// the Enter key's IDOK, running out of actions, and templates that cannot be used.
#include "dialog_harness.h"

#include <pocketpc.h>

namespace {

TestDialog ButtonsDialog() {
    TestDialog dialog;
    dialog.controls = {
        {0x50000000, 10, 0x82, u"label"},
        {0x50010000, 20, 0x80, u"first"},
        {0x58010000, 30, 0x80, u"disabled"},  // WS_DISABLED
    };
    return dialog;
}

using DialogRunTest = DialogTest;

TEST_F(DialogRunTest, InitDialogGetsTheParamAndTheFirstTabStop) {
    HWND first = nullptr;
    Harness().on_init = [&first](HWND dialog) {
        first = GetDlgItem(dialog, 20);
        EndDialog(dialog, 5);
    };
    EXPECT_EQ(Run(ButtonsDialog(), 1234), 5);
    EXPECT_EQ(Harness().init_param, 1234);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(Harness().init_focus, first);
    EXPECT_FALSE(Win32LayerDialogStayedOpen());
}

TEST_F(DialogRunTest, ControlsCarryTheirTemplateFields) {
    Harness().on_init = [](HWND dialog) {
        HWND label = GetDlgItem(dialog, 10);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(GetDlgCtrlID(label), 10);
        EXPECT_EQ(GetParent(label), dialog);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(label, GWL_STYLE)), 0x50000000u);
        WCHAR text[16];
        EXPECT_EQ(GetDlgItemTextW(dialog, 10, text, 16), 5u);
        EXPECT_EQ(std::u16string(text), u"label");
        WCHAR title[16];
        GetWindowTextW(dialog, title, 16);
        EXPECT_EQ(std::u16string(title), u"Test");
        EXPECT_EQ(GetDlgItem(dialog, 99), nullptr);
        // 9-point font: 6 x 12 pixel base units; 40 x 12 units make 60 x 18 pixels.
        RECT client;
        GetClientRect(label, &client);
        EXPECT_EQ(client.right, 60);
        EXPECT_EQ(client.bottom, 18);
        EndDialog(dialog, 1);
    };
    EXPECT_EQ(Run(ButtonsDialog()), 1);
}

TEST_F(DialogRunTest, PressingAButtonSendsBnClickedUntilTheDialogEnds) {
    EndOnCommand(IDOK);
    Win32LayerQueuePressButton(20);
    Win32LayerQueuePressButton(20);
    Win32LayerQueuePressButton(IDOK);  // no such button: the Enter key
    EXPECT_EQ(Run(ButtonsDialog()), IDOK);
    ASSERT_EQ(Harness().commands.size(), 3u);
    EXPECT_EQ(Harness().commands[0].id, 20);
    EXPECT_EQ(Harness().commands[0].code, BN_CLICKED);
    EXPECT_NE(Harness().commands[0].control, nullptr);
    EXPECT_EQ(Harness().commands[2].id, IDOK);
    EXPECT_EQ(Harness().commands[2].control, nullptr);
    EXPECT_EQ(Win32LayerPendingActionCount(), 0);
}

TEST_F(DialogRunTest, RunningOutOfActionsLeavesTheDialogOpen) {
    Win32LayerQueuePressButton(20);
    EXPECT_EQ(Run(ButtonsDialog()), -1);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
    EXPECT_EQ(Harness().commands.size(), 1u);
}

TEST_F(DialogRunTest, AnActionThatCannotBePerformedStaysQueued) {
    EndOnCommand(IDOK);
    Win32LayerQueuePressButton(30);  // disabled
    Win32LayerQueuePressButton(IDOK);
    EXPECT_EQ(Run(ButtonsDialog()), -1);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
    EXPECT_TRUE(Harness().commands.empty());
    EXPECT_EQ(Win32LayerPendingActionCount(), 2);

    Win32LayerClearActions();
    Win32LayerQueueTypeText(20, u"x");  // a button takes no typing
    EXPECT_EQ(Run(ButtonsDialog()), -1);
    Win32LayerClearActions();
    Win32LayerQueueAnswerMessageBox(IDOK);  // no message box is open
    EXPECT_EQ(Run(ButtonsDialog()), -1);
    EXPECT_EQ(Win32LayerPendingActionCount(), 1);
}

TEST_F(DialogRunTest, EndDialogOutsideAModalDialogFails) {
    EXPECT_FALSE(EndDialog(nullptr, 1));
}

TEST_F(DialogRunTest, UnusableTemplatesFailWithoutCallingTheProcedure) {
    TestDialog unknown_class;
    unknown_class.controls = {{0x50000000, 1, 0x86, u""}};
    EXPECT_EQ(Run(unknown_class), -1);

    TestDialog unregistered;
    unregistered.controls = {{0x50000000, 1, 0, u"", 0, 0, 1, 1, u"NoSuchClass"}};
    EXPECT_EQ(Run(unregistered), -1);

    std::vector<uint8_t> bytes = WriteDialogTemplate(ButtonsDialog());
    EXPECT_EQ(Win32LayerDialogBoxFromBytes(nullptr, bytes.data(), bytes.size() - 1, nullptr,
                                           HarnessDialogProc, 0),
              -1);
    EXPECT_FALSE(Win32LayerDialogStayedOpen());
    for (UINT message : Harness().messages) EXPECT_NE(message, static_cast<UINT>(WM_INITDIALOG));

    // No dialog resource in the test program.
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(500), nullptr, HarnessDialogProc, 0), -1);
}

TEST_F(DialogRunTest, ShInitDialogFillsTheScreenAndRecordsItsFlags) {
    Win32LayerSetScreenSize(240, 320);
    RECT client = {};
    Harness().on_init = [&client](HWND dialog) {
        SHINITDLGINFO info = {SHIDIM_FLAGS, dialog,
                              SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
        EXPECT_TRUE(SHInitDialog(&info));
        GetClientRect(dialog, &client);
        EndDialog(dialog, 1);
    };
    Run(ButtonsDialog());
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 320);
    DWORD mask = 0;
    DWORD flags = 0;
    ASSERT_TRUE(Win32LayerLastShInitDialog(nullptr, &mask, &flags));
    EXPECT_EQ(mask, 1u);
    EXPECT_EQ(flags, 0x0Du);
    SHINITDLGINFO bad_mask = {0x80, nullptr, 0};
    EXPECT_FALSE(SHInitDialog(&bad_mask));
    EXPECT_FALSE(SHInitDialog(nullptr));
}

}  // namespace
