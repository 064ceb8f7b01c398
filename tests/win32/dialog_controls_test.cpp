// The controls as a person's typing and choosing meet them: the edit limit and ES_NUMBER on
// typed input but not on text set by the program, GetDlgItemText's capacity, and the
// drop-down list's selection.
#include "dialog_harness.h"

#include <ostream>
#include <string>

namespace {

constexpr WORD kEdit = 100;
constexpr WORD kNumber = 101;
constexpr WORD kCombo = 102;

TestDialog FormDialog() {
    TestDialog dialog;
    dialog.controls = {
        {0x50810080, kEdit, 0x81, u"start"},  // border, ES_AUTOHSCROLL
        {0x50812080, kNumber, 0x81, u"24"},   // ES_NUMBER
        {0x50210003, kCombo, 0x85, u""},      // CBS_DROPDOWNLIST
    };
    return dialog;
}

std::u16string ItemText(HWND dialog, int id, int capacity = 64) {
    std::vector<WCHAR> buffer(static_cast<size_t>(capacity), 0xBDBD);
    GetDlgItemTextW(dialog, id, buffer.data(), capacity);
    return buffer.data();
}

// Sets up the form: WM_INITDIALOG runs `init`, and IDOK runs `check` and ends the dialog.
void SetUpForm(const std::function<void(HWND)>& init, const std::function<void(HWND)>& check) {
    Harness().on_init = init;
    Harness().on_command = [check](HWND dialog, WORD id) {
        if (id != IDOK) return;
        check(dialog);
        EndDialog(dialog, IDOK);
    };
}

// How many notifications of this code the control `id` sent the dialog.
int NotificationsSeen(WORD id, WORD code) {
    int count = 0;
    for (const SeenCommand& command : Harness().commands)
        count += command.id == id && command.code == code;
    return count;
}

class DialogControlsTest : public DialogTest {};

TEST_F(DialogControlsTest, TypedTextMeetsTheLimitButProgramTextDoesNot) {
    std::u16string typed, set_text;
    LRESULT limit = 0;
    SetUpForm([](HWND dialog) { SendDlgItemMessageW(dialog, kNumber, EM_LIMITTEXT, 3, 0); },
              [&](HWND dialog) {
                  typed = ItemText(dialog, kNumber);
                  limit = SendDlgItemMessageW(dialog, kNumber, EM_GETLIMITTEXT, 0, 0);
                  SetDlgItemTextW(dialog, kNumber, u"123456");
                  set_text = ItemText(dialog, kNumber);
              });
    Win32LayerQueueTypeText(kNumber, u"98765");
    Win32LayerQueuePressButton(IDOK);
    ASSERT_EQ(Run(FormDialog()), IDOK);
    EXPECT_EQ(typed, u"987");
    EXPECT_EQ(limit, 3);
    EXPECT_EQ(set_text, u"123456");
    // EN_MAXTEXT told the dialog about each dropped character.
    EXPECT_EQ(NotificationsSeen(kNumber, EN_MAXTEXT), 2);
}

// Text typed into the plain edit and the digits-only field (nullptr: nothing typed there), and
// what each holds when the dialog is closed with OK.
struct TypingCase {
    const char* name;
    const char16_t* typed_edit;
    const char16_t* typed_number;
    std::u16string edit;
    std::u16string number;
};

// Names the row in the test list and in failures.
void PrintTo(const TypingCase& row, std::ostream* out) {
    *out << row.name;
}

class DialogTyping : public DialogTest, public testing::WithParamInterface<TypingCase> {};

TEST_P(DialogTyping, FieldsHoldWhatTheirStylesLetThrough) {
    const TypingCase& row = GetParam();
    std::u16string edit, number;
    SetUpForm([](HWND) {},
              [&](HWND dialog) {
                  edit = ItemText(dialog, kEdit);
                  number = ItemText(dialog, kNumber);
              });
    if (row.typed_number != nullptr) Win32LayerQueueTypeText(kNumber, row.typed_number);
    if (row.typed_edit != nullptr) Win32LayerQueueTypeText(kEdit, row.typed_edit);
    Win32LayerQueuePressButton(IDOK);
    ASSERT_EQ(Run(FormDialog()), IDOK);
    EXPECT_EQ(edit, row.edit);
    EXPECT_EQ(number, row.number);
}

INSTANTIATE_TEST_SUITE_P(
    DialogControlsTest, DialogTyping,
    testing::Values(
        // name, typed into the edit, typed into the digits field, then what each holds
        TypingCase{"DigitsOnlyRefusesOtherCharacters", u"1a-2 ３b", u"1a-2 ３b", u"1a-2 ３b",
                   u"12"},
        TypingCase{"TypingReplacesTheWholeTextAndEmptyTypingClearsIt", u"new", u"", u"new", u""},
        TypingCase{"LettersTypedIntoADigitsFieldLeaveItEmpty", nullptr, u"abc", u"start", u""}),
    [](const testing::TestParamInfo<TypingCase>& row) { return row.param.name; });

TEST_F(DialogControlsTest, GetDlgItemTextCopiesCapacityLessOneAndATerminator) {
    Harness().on_init = [](HWND dialog) {
        SetDlgItemTextW(dialog, kEdit, u"abcdef");
        WCHAR buffer[6];
        std::fill(std::begin(buffer), std::end(buffer), 0xBDBD);
        EXPECT_EQ(GetDlgItemTextW(dialog, kEdit, buffer, 4), 3u);
        EXPECT_EQ(std::u16string(buffer), u"abc");
        EXPECT_EQ(buffer[4], 0xBDBD);  // nothing past the capacity
        EXPECT_EQ(GetDlgItemTextW(dialog, 999, buffer, 4), 0u);
        EXPECT_EQ(buffer[0], 0);
        BOOL translated = TRUE;
        SetDlgItemTextW(dialog, kEdit, u"  -42");
        EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, kEdit, &translated, TRUE)), -42);
        EXPECT_TRUE(translated);
        SetDlgItemTextW(dialog, kEdit, u"12x");
        EXPECT_EQ(GetDlgItemInt(dialog, kEdit, &translated, FALSE), 0u);
        EXPECT_FALSE(translated);
        EndDialog(dialog, 1);
    };
    EXPECT_EQ(Run(FormDialog()), 1);
}

TEST_F(DialogControlsTest, ComboBoxListAndSelection) {
    Harness().on_init = [](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_GETCOUNT, 0, 0), 0);
        for (LPCWSTR entry : {u"zero", u"one", u"two"})
            SendDlgItemMessageW(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(ItemText(dialog, kCombo), u"one");
        // An index outside the list clears the selection.
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_SETCURSEL, 5, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0),
                  CB_ERR);
        WCHAR text[8] = {};
        EXPECT_EQ(
            SendDlgItemMessageW(dialog, kCombo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)),
            3);
        EXPECT_EQ(std::u16string(text), u"two");
        EXPECT_EQ(
            SendDlgItemMessageW(dialog, kCombo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text)),
            CB_ERR);
    };
    LRESULT chosen = 0;
    Harness().on_command = [&chosen](HWND dialog, WORD id) {
        if (id != IDOK) return;
        chosen = SendDlgItemMessageW(dialog, kCombo, CB_GETCURSEL, 0, 0);
        EndDialog(dialog, IDOK);
    };
    Win32LayerQueueChooseComboText(kCombo, u"two");
    Win32LayerQueueChooseComboIndex(kCombo, 0);
    Win32LayerQueuePressButton(IDOK);
    ASSERT_EQ(Run(FormDialog()), IDOK);
    EXPECT_EQ(chosen, 0);
    // A person's choices notify; CB_SETCURSEL does not.
    EXPECT_EQ(NotificationsSeen(kCombo, CBN_SELCHANGE), 2);

    // An entry that does not exist cannot be chosen.
    Win32LayerClearActions();
    Win32LayerQueueChooseComboIndex(kCombo, 3);
    EXPECT_EQ(Run(FormDialog()), -1);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
}

}  // namespace
