// Export ordinal 241, CustomItemOptionsDlgProc: the procedure of the options dialog (template
// 500) that the Today host opens from its settings screen. The dialog edits the picture path
// (edit 1001, or the file-open dialog behind button 1002), the placement (combo 1003) and the
// item height (edit 1004); the shell's OK button validates and saves them. Button 1000 removes
// the item's registration from the Today host before uninstalling.
//
// Each message works on a settings record of its own; the dialog keeps nothing but its
// controls. Changes reach the item window when the host next creates it.
#include <cstddef>
#include <type_traits>

#include <windows.h>

#include "options_dialog_ids.h"
#include "picture_settings.h"
#include "pocketpc.h"

namespace {

// The height field takes three digits; reading it uses a buffer of four characters.
constexpr int kHeightDigits = 3;

const WCHAR kHeightMessage[] = TEXT("ｳｲﾝﾄﾞｳの高さは1～320の間で設定してください。");
const WCHAR kNoFileMessage[] = TEXT("ﾌｧｲﾙが存在しません。ﾌｧｲﾙ名を正しく入力してください。");
const WCHAR kConfirmRemovalMessage[] =
    TEXT("情報を削除すると再ｲﾝｽﾄｰﾙするまで使用できなくなります。よろしいですか？");
const WCHAR kRemovalDoneMessage[] = TEXT("情報を削除しました。ｱﾝｲﾝｽﾄｰﾙを行ってください。");
const WCHAR kConfirmCaption[] = TEXT("確認");

// The placements in DrawMode order: an entry's index is the mode it stands for.
const WCHAR* const kModeNames[] = {
    TEXT("拡大して表示"),  // Stretch
    TEXT("中央に表示"),    // Center
    TEXT("並べて表示"),    // Tile
};

// Pairs of display text and patterns, each ended by a NUL; the literal's own terminator is the
// NUL that ends the block.
// clang-format off
const WCHAR kPictureFilter[] =
    TEXT("対応画像ﾌｧｲﾙ(*.bmp;*.jpg;*.jpeg)\0") TEXT("*.bmp;*.jpg;*.jpeg\0")
    TEXT("ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)\0")                 TEXT("*.bmp\0")
    TEXT("JPEGﾌｧｲﾙ(*.jpg;*.jpeg)\0")          TEXT("*.jpg;*.jpeg\0")
    TEXT("すべてのﾌｧｲﾙ(*.*)\0")               TEXT("*.*\0");
// clang-format on

const WCHAR kTodayItemsKey[] = TEXT("Software\\Microsoft\\Today\\Items");
const WCHAR kItemRegistration[] = TEXT("Lumetta");

// "%d" in UTF-16.
void FormatDecimal(int32_t value, WCHAR* out) {
    WCHAR digits[12];
    int count = 0;
    // Work on the magnitude as unsigned, so that the most negative value has one too.
    uint32_t magnitude =
        value < 0 ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<WCHAR>(TEXT('0') + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *out++ = TEXT('-');
    while (count > 0) *out++ = digits[--count];
    *out = 0;
}

// A base-10 integer at the start of the text, after white space and an optional sign; 0 when
// the text does not begin with a number.
int32_t ParseDecimal(const WCHAR* text) {
    while (*text == TEXT(' ') || *text == TEXT('\t')) ++text;
    bool negative = *text == TEXT('-');
    if (*text == TEXT('-') || *text == TEXT('+')) ++text;
    int64_t value = 0;
    for (; *text >= TEXT('0') && *text <= TEXT('9') && value <= 0x7FFFFFFF; ++text)
        value = value * 10 + (*text - TEXT('0'));
    if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
    return static_cast<int32_t>(negative ? -value : value);
}

void InitializeDialog(HWND dialog) {
    SHINITDLGINFO shell = {};
    shell.dwMask = SHIDIM_FLAGS;
    shell.hDlg = dialog;
    shell.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&shell);

    PictureSettings settings = DefaultPictureSettings();
    LoadPictureSettings(&settings);

    SetDlgItemText(dialog, kPathEdit, settings.path);

    SendMessage(GetDlgItem(dialog, kHeightEdit), EM_LIMITTEXT, kHeightDigits, 0);
    WCHAR height[12];
    FormatDecimal(settings.height, height);
    SetDlgItemText(dialog, kHeightEdit, height);

    // A list that could not be filled whole would save a placement the user did not choose
    // (the stored one missing from the list selects nothing, saved as -1; a gap shifts the
    // others): the dialog closes at once instead, and nothing is saved.
    HWND combo = GetDlgItem(dialog, kModeCombo);
    for (const WCHAR* name : kModeNames) {
        const LRESULT added = SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        if (added == CB_ERR || added == CB_ERRSPACE) {
            EndDialog(dialog, -1);
            return;
        }
    }
    // A mode outside the list leaves nothing selected.
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(static_cast<int32_t>(settings.mode)), 0);
}

// Validates and saves the dialog's input, then ends the dialog; on invalid input it shows why
// and leaves the dialog open.
void ConfirmSettings(HWND dialog) {
    PictureSettings settings = DefaultPictureSettings();

    WCHAR height_text[kHeightDigits + 1];
    GetDlgItemText(dialog, kHeightEdit, height_text, kHeightDigits + 1);
    int32_t height = ParseDecimal(height_text);
    if (height < 1 || height > GetSystemMetrics(SM_CYSCREEN)) {
        MessageBox(dialog, kHeightMessage, nullptr, MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    // A path longer than the field holds is not cut short into another file's name: it is
    // refused as a file that does not exist.
    HWND path_edit = GetDlgItem(dialog, kPathEdit);
    bool path_fits = GetWindowTextLength(path_edit) < MAX_PATH;
    GetDlgItemText(dialog, kPathEdit, settings.path, MAX_PATH);
    if (!path_fits || GetFileAttributes(settings.path) == INVALID_FILE_ATTRIBUTES) {
        MessageBox(dialog, kNoFileMessage, nullptr, MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    settings.mode = static_cast<DrawMode>(
        static_cast<int32_t>(SendMessage(GetDlgItem(dialog, kModeCombo), CB_GETCURSEL, 0, 0)));
    settings.height = height;
    SavePictureSettings(&settings);
    EndDialog(dialog, 1);
}

// Removes the Today host's registration of the item after the user confirms, and ends the
// dialog. The settings in the controls are not saved.
void RemoveRegistration(HWND dialog) {
    if (MessageBox(dialog, kConfirmRemovalMessage, kConfirmCaption, MB_OKCANCEL | MB_ICONHAND) !=
        IDOK) {
        return;
    }
    HKEY items = nullptr;
    WCHAR no_class[] = TEXT("");
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kTodayItemsKey, 0, no_class, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, &items, nullptr) == ERROR_SUCCESS) {
        RegDeleteKey(items, kItemRegistration);
        RegCloseKey(items);
    }
    MessageBox(dialog, kRemovalDoneMessage, kConfirmCaption, MB_OK | MB_ICONASTERISK);
    EndDialog(dialog, 1);
}

// The record's size as the device's shell knows it: 76 bytes on 32-bit machines, the Pocket PC
// record without the fields that desktop Windows added later (which calls that size
// OPENFILENAME_SIZE_VERSION_400W: the record up to lpTemplateName). 64-bit builds have no such
// older layout and give the record's own size.
#if defined(_WIN32) && !defined(_WIN64)
constexpr DWORD kOpenFileNameSize = offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR);
#else
constexpr DWORD kOpenFileNameSize = sizeof(OPENFILENAME);
#endif
static_assert(sizeof(void*) != 4 || kOpenFileNameSize == 76);

// Lets the user pick the picture file; the choice goes into the path field, unsaved.
void BrowseForPicture(HWND dialog) {
    WCHAR file[MAX_PATH] = {};
    OPENFILENAME open = {};
    open.lStructSize = kOpenFileNameSize;
    open.hwndOwner = dialog;
    open.lpstrFilter = kPictureFilter;
    open.nFilterIndex = 0;
    open.lpstrFile = file;
    open.nMaxFile = MAX_PATH;
    open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileName(&open)) SetDlgItemText(dialog, kPathEdit, file);
}

}  // namespace

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wparam,
                                                     LPARAM /*lparam*/) {
    if (message == WM_INITDIALOG) {
        InitializeDialog(dialog);
        return TRUE;  // the platform sets the initial focus
    }
    if (message != WM_COMMAND) return FALSE;
    // The notification code in the high word is not examined.
    switch (LOWORD(wparam)) {
        case IDOK:
            ConfirmSettings(dialog);
            return TRUE;
        case kRemoveButton:
            RemoveRegistration(dialog);
            return TRUE;
        case kBrowseButton:
            BrowseForPicture(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}

// The host hands the export to DialogBoxParam as a DLGPROC; on 32-bit x86 the calling
// convention is part of the type, so a mismatch fails to compile instead of corrupting the stack.
static_assert(std::is_same_v<decltype(&CustomItemOptionsDlgProc), DLGPROC>);
static_assert(sizeof(void*) != 4 || sizeof(SHINITDLGINFO) == 12, "the 32-bit shell's record");
