// The options dialog through the built library: template 500 opened with export ordinal 241 as
// its procedure, worked by a person's queued actions, with the message boxes it shows and the
// settings read back from the registry afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "pocketpc.h"
#include "temp_registry.h"
#include "win32/host_services.h"
#include "win32/dialog_driver.h"
#include "win32/test_probes.h"
#include "windows.h"

namespace {

const char16_t kHeightMessage[] = u"ｳｲﾝﾄﾞｳの高さは1～320の間で設定してください。";
const char16_t kNoFileMessage[] = u"ﾌｧｲﾙが存在しません。ﾌｧｲﾙ名を正しく入力してください。";
const char16_t kConfirmMessage[] =
    u"情報を削除すると再ｲﾝｽﾄｰﾙするまで使用できなくなります。よろしいですか？";
const char16_t kDoneMessage[] = u"情報を削除しました。ｱﾝｲﾝｽﾄｰﾙを行ってください。";
const char16_t kItemsKey[] = u"Software\\Microsoft\\Today\\Items";

DLGPROC lumetta_procedure = nullptr;
// Runs inside WM_INITDIALOG after lumetta's own handling, to look at the filled dialog.
std::function<void(HWND)> after_init;
// What lumetta's procedure answered, by message (WM_COMMAND by control id).
std::vector<std::pair<UINT, INT_PTR>> answers;

INT_PTR CALLBACK WatchingProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR answer = lumetta_procedure(dialog, message, wparam, lparam);
    if (message == WM_INITDIALOG && after_init) after_init(dialog);
    // Commands of buttons and of the shell's OK, not the controls' change notifications.
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED)
        answers.push_back({LOWORD(wparam), answer});
    if (message == WM_INITDIALOG) answers.push_back({WM_INITDIALOG, answer});
    return answer;
}

struct StoredSettings {
    bool present = false;
    int32_t mode = 0;
    int32_t height = 0;
    std::u16string path;
    DWORD path_size = 0;
};

class OptionsDialogTest : public TempRegistryTest {
protected:
    void SetUp() override {
        TempRegistryTest::SetUp();
        module_ = LoadLibraryW(Wide(LUMETTA_PATH).c_str());
        ASSERT_NE(module_, nullptr);
        lumetta_procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void*>(
            GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
        ASSERT_NE(lumetta_procedure, nullptr);
        after_init = nullptr;
        answers.clear();
        Win32LayerSetScreenSize(240, 320);
        Win32LayerClearActions();
        Win32LayerClearMessageBoxes();
        Win32LayerClearOpenFileDialogs();
        std::ofstream(folder_ / "photo.bmp") << "BM";
        picture_ = Wide(folder_ / "photo.bmp");
    }
    void TearDown() override {
        Win32LayerClearActions();
        Win32LayerSetScreenSize(240, 320);
        if (module_ != nullptr) FreeLibrary(module_);
        TempRegistryTest::TearDown();
    }

    static std::u16string Wide(const std::filesystem::path& path) {
        std::string text = path.string();
        std::u16string wide;
        int n =
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        wide.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
        return wide;
    }

    INT_PTR RunDialog() {
        return DialogBoxParamW(module_, MAKEINTRESOURCEW(500), nullptr, WatchingProc, 0);
    }

    void Store(int32_t mode, int32_t height, const std::u16string& path) {
        SetSettingsValue(u"Mode", REG_DWORD, &mode, 4);
        SetSettingsValue(u"Height", REG_DWORD, &height, 4);
        WCHAR field[MAX_PATH] = {};
        path.copy(field, MAX_PATH - 1);
        SetSettingsValue(u"Path", REG_SZ, field, sizeof(field));
    }

    static StoredSettings Stored() {
        StoredSettings stored;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return stored;
        stored.present = true;
        DWORD size = 4;
        RegQueryValueExW(key, u"Mode", nullptr, nullptr, reinterpret_cast<BYTE*>(&stored.mode),
                         &size);
        size = 4;
        RegQueryValueExW(key, u"Height", nullptr, nullptr, reinterpret_cast<BYTE*>(&stored.height),
                         &size);
        WCHAR path[MAX_PATH + 1] = {};
        stored.path_size = sizeof(WCHAR) * MAX_PATH;
        RegQueryValueExW(key, u"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &stored.path_size);
        stored.path = path;
        RegCloseKey(key);
        return stored;
    }

    // Registers the item; with a subkey, as an installer may leave one under the registration.
    static void Register(const char16_t* subkey = nullptr) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta", 0,
                            const_cast<LPWSTR>(u""), 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        DWORD enabled = 1;
        RegSetValueExW(key, u"Enabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enabled), 4);
        if (subkey != nullptr) {
            HKEY child = nullptr;
            ASSERT_EQ(RegCreateKeyExW(key, subkey, 0, const_cast<LPWSTR>(u""), 0, KEY_ALL_ACCESS,
                                      nullptr, &child, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExW(child, u"Order", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enabled), 4);
            RegCloseKey(child);
        }
        RegCloseKey(key);
    }

    static bool Registered() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta", 0,
                          KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    static Win32LayerMessageBox Box(int index) {
        Win32LayerMessageBox box = {};
        EXPECT_TRUE(Win32LayerGetMessageBox(index, &box));
        return box;
    }

    // Expects exactly one message box: the given text with no caption of its own, OK and the
    // exclamation icon.
    static void ExpectOnlyWarning(const char16_t* text) {
        ASSERT_EQ(Win32LayerMessageBoxCount(), 1);
        Win32LayerMessageBox box = Box(0);
        EXPECT_EQ(std::u16string(box.text), text);
        EXPECT_TRUE(box.default_caption);
        EXPECT_EQ(box.type, 0x30u);
        EXPECT_NE(box.owner, nullptr);
    }

    // Types the fields and presses OK; a warning, if any, is closed with OK.
    INT_PTR Confirm(const std::u16string* path, const std::u16string* height, int mode = -1) {
        if (path != nullptr) Win32LayerQueueTypeText(1001, path->c_str());
        if (mode >= 0) Win32LayerQueueChooseComboIndex(1003, mode);
        if (height != nullptr) Win32LayerQueueTypeText(1004, height->c_str());
        Win32LayerQueuePressButton(IDOK);
        Win32LayerQueueAnswerMessageBox(IDOK);
        INT_PTR result = RunDialog();
        Win32LayerClearActions();  // the answer is left over when no warning came
        return result;
    }

    HMODULE module_ = nullptr;
    std::u16string picture_;
};

std::u16string Text(HWND dialog, int id) {
    WCHAR text[600] = {};
    GetDlgItemTextW(dialog, id, text, 600);
    return text;
}

TEST_F(OptionsDialogTest, OpensFilledFromTheDefaultsOnAFullScreen) {
    bool looked = false;
    after_init = [&looked](HWND dialog) {
        looked = true;
        EXPECT_EQ(Text(dialog, 1001), u"");
        EXPECT_EQ(Text(dialog, 1004), u"24");
        EXPECT_EQ(SendDlgItemMessageW(dialog, 1004, EM_GETLIMITTEXT, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 1003, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 1003, CB_GETCURSEL, 0, 0), 0);
        const char16_t* names[] = {u"拡大して表示", u"中央に表示", u"並べて表示"};
        for (int i = 0; i < 3; ++i) {
            WCHAR entry[32] = {};
            SendDlgItemMessageW(dialog, 1003, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(entry));
            EXPECT_EQ(std::u16string(entry), names[i]);
        }
        WCHAR title[16] = {};
        GetWindowTextW(dialog, title, 16);
        EXPECT_EQ(std::u16string(title), u"設定");
        EXPECT_EQ(Text(dialog, 1000), u"登録情報の削除");
        EXPECT_EQ(Text(dialog, 1002), u"参照...");
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(GetDlgItem(dialog, 1004), GWL_STYLE)),
                  0x50812080u);
        RECT client;
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, 240);
        EXPECT_EQ(client.bottom, 320);
    };
    EXPECT_EQ(RunDialog(), -1);  // no actions: it stays open
    EXPECT_TRUE(looked);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
    DWORD mask = 0;
    DWORD flags = 0;
    ASSERT_TRUE(Win32LayerLastShInitDialog(nullptr, &mask, &flags));
    EXPECT_EQ(mask, 1u);
    EXPECT_EQ(flags, 0x0Du);
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers[0], (std::pair<UINT, INT_PTR>{WM_INITDIALOG, TRUE}));
    EXPECT_FALSE(Stored().present);
}

TEST_F(OptionsDialogTest, ConfirmingSavesAllThreeSettings) {
    Store(0, 24, u"");
    std::u16string height = u"100";
    EXPECT_EQ(Confirm(&picture_, &height, 2), 1);
    EXPECT_EQ(Win32LayerMessageBoxCount(), 0);
    StoredSettings stored = Stored();
    EXPECT_EQ(stored.mode, 2);
    EXPECT_EQ(stored.height, 100);
    EXPECT_EQ(stored.path, picture_);
    EXPECT_EQ(stored.path_size, 520u);
    EXPECT_EQ(answers.back(), (std::pair<UINT, INT_PTR>{IDOK, TRUE}));
}

TEST_F(OptionsDialogTest, HeightsOutsideOneToTheScreenHeightAreRefused) {
    for (const char16_t* height : {u"", u"0", u"abc", u"321", u"999"}) {
        SCOPED_TRACE(std::string(height, height + std::char_traits<char16_t>::length(height)));
        Store(1, 24, picture_);
        Win32LayerClearMessageBoxes();
        std::u16string typed = height;
        EXPECT_EQ(Confirm(nullptr, &typed, 0), -1);
        EXPECT_TRUE(Win32LayerDialogStayedOpen());
        ExpectOnlyWarning(kHeightMessage);
        EXPECT_EQ(Stored().mode, 1);  // nothing saved
        EXPECT_EQ(answers.back(), (std::pair<UINT, INT_PTR>{IDOK, TRUE}));
    }
}

TEST_F(OptionsDialogTest, TheBoundIsTheScreenHeightWhateverItIs) {
    std::u16string h320 = u"320";
    std::u16string h321 = u"321";
    EXPECT_EQ(Confirm(&picture_, &h320), 1);
    EXPECT_EQ(Stored().height, 320);
    Win32LayerSetScreenSize(240, 400);
    EXPECT_EQ(Confirm(&picture_, &h321), 1);
    EXPECT_EQ(Stored().height, 321);
    Win32LayerSetScreenSize(240, 200);
    EXPECT_EQ(Confirm(&picture_, &h320), -1);
    ExpectOnlyWarning(kHeightMessage);  // names 320 whatever the bound
}

TEST_F(OptionsDialogTest, AMissingFileIsRefusedAfterTheHeight) {
    std::u16string missing = Wide(folder_ / "missing.bmp");
    std::u16string good = u"50";
    EXPECT_EQ(Confirm(&missing, &good), -1);
    ExpectOnlyWarning(kNoFileMessage);
    EXPECT_FALSE(Stored().present);

    // Both wrong: only the height message.
    Win32LayerClearMessageBoxes();
    std::u16string bad = u"0";
    EXPECT_EQ(Confirm(&missing, &bad), -1);
    ExpectOnlyWarning(kHeightMessage);

    // An empty path names nothing.
    Win32LayerClearMessageBoxes();
    std::u16string empty;
    EXPECT_EQ(Confirm(&empty, &good), -1);
    ExpectOnlyWarning(kNoFileMessage);
}

TEST_F(OptionsDialogTest, AFolderOrAFileOfAnyTypePasses) {
    std::u16string folder = Wide(folder_);
    EXPECT_EQ(Confirm(&folder, nullptr), 1);
    EXPECT_EQ(Stored().path, folder);
    std::ofstream(folder_ / "notes.txt") << "text";
    std::u16string notes = Wide(folder_ / "notes.txt");
    EXPECT_EQ(Confirm(&notes, nullptr), 1);
    EXPECT_EQ(Stored().path, notes);
}

TEST_F(OptionsDialogTest, PathsOf259CharactersAreKeptAnd260Refused) {
    // A file whose full path has exactly 259 characters, in folders made to measure.
    std::filesystem::path deep = folder_;
    while (deep.string().size() + 1 + 100 < 259 - 20) deep /= std::string(100, 'd');
    std::filesystem::create_directories(deep);
    size_t name_length = 259 - deep.string().size() - 1;
    std::filesystem::path file = deep / std::string(name_length, 'p');
    std::ofstream(file) << "BM";
    std::u16string path259 = Wide(file);
    ASSERT_EQ(path259.size(), 259u);
    EXPECT_EQ(Confirm(&path259, nullptr), 1);
    StoredSettings stored = Stored();
    EXPECT_EQ(stored.path, path259);
    EXPECT_EQ(stored.path_size, 520u);

    // One more character: the field cannot hold it, so it is not taken as the 259-character
    // file that its first characters name.
    Store(0, 24, u"");
    std::filesystem::path longer = deep / std::string(name_length + 1, 'p');
    std::ofstream(longer) << "BM";
    std::u16string path260 = Wide(longer);
    ASSERT_EQ(path260.size(), 260u);
    EXPECT_EQ(Confirm(&path260, nullptr), -1);
    ExpectOnlyWarning(kNoFileMessage);
    EXPECT_EQ(Stored().path, u"");
}

TEST_F(OptionsDialogTest, AStoredModeOutsideTheListSelectsNothingAndSavesMinusOne) {
    for (int32_t mode : {5, -1}) {
        Store(mode, 30, picture_);
        LRESULT selection = 0;
        after_init = [&selection](HWND dialog) {
            selection = SendDlgItemMessageW(dialog, 1003, CB_GETCURSEL, 0, 0);
        };
        EXPECT_EQ(Confirm(nullptr, nullptr), 1);
        EXPECT_EQ(selection, CB_ERR);
        StoredSettings stored = Stored();
        EXPECT_EQ(stored.mode, -1);
        EXPECT_EQ(stored.height, 30);
    }
}

TEST_F(OptionsDialogTest, CancellingTheRemovalChangesNothing) {
    Register();
    Store(1, 40, picture_);
    Win32LayerQueuePressButton(1000);
    Win32LayerQueueAnswerMessageBox(IDCANCEL);
    EXPECT_EQ(RunDialog(), -1);
    EXPECT_TRUE(Win32LayerDialogStayedOpen());
    ASSERT_EQ(Win32LayerMessageBoxCount(), 1);
    Win32LayerMessageBox box = Box(0);
    EXPECT_EQ(std::u16string(box.text), kConfirmMessage);
    EXPECT_EQ(std::u16string(box.caption), u"確認");
    EXPECT_FALSE(box.default_caption);
    EXPECT_EQ(box.type, 0x11u);
    EXPECT_TRUE(Registered());
    EXPECT_EQ(answers.back(), (std::pair<UINT, INT_PTR>{1000, TRUE}));
}

TEST_F(OptionsDialogTest, ConfirmedRemovalDeletesTheRegistrationAndSavesNothing) {
    // The device's registry deletes a key with its subkeys: a registration with one goes too.
    struct Registration {
        const char* name;
        bool registered;
        const char16_t* subkey;
    };
    for (const Registration& registration : {Registration{"registered", true, nullptr},
                                             Registration{"with a subkey", true, u"Options"},
                                             Registration{"already gone", false, nullptr}}) {
        SCOPED_TRACE(registration.name);
        if (registration.registered) Register(registration.subkey);
        Store(1, 40, picture_);
        Win32LayerClearMessageBoxes();
        std::u16string typed = u"77";
        Win32LayerQueueTypeText(1004, typed.c_str());
        Win32LayerQueuePressButton(1000);
        Win32LayerQueueAnswerMessageBox(IDOK);
        Win32LayerQueueAnswerMessageBox(IDOK);
        EXPECT_EQ(RunDialog(), 1);
        EXPECT_FALSE(Registered());
        HKEY left = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                u"Software\\Microsoft\\Today\\Items\\Lumetta\\Options", 0, KEY_READ,
                                &left),
                  ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(Win32LayerMessageBoxCount(), 2);
        Win32LayerMessageBox done = Box(1);
        EXPECT_EQ(std::u16string(done.text), kDoneMessage);
        EXPECT_EQ(std::u16string(done.caption), u"確認");
        EXPECT_EQ(done.type, 0x40u);
        EXPECT_EQ(Stored().height, 40);
        // The Today items key itself stays.
        HKEY items = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemsKey, 0, KEY_READ, &items), ERROR_SUCCESS);
        RegCloseKey(items);
    }
}

TEST_F(OptionsDialogTest, BrowsingFillsThePathFieldOnly) {
    Store(0, 24, u"");
    Win32LayerQueuePressButton(1002);
    Win32LayerQueueChooseFile(picture_.c_str());
    Win32LayerQueuePressButton(IDOK);
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(Stored().path, picture_);
    EXPECT_EQ(answers.front(), (std::pair<UINT, INT_PTR>{WM_INITDIALOG, TRUE}));
    EXPECT_EQ(answers[1], (std::pair<UINT, INT_PTR>{1002, FALSE}));

    ASSERT_EQ(Win32LayerOpenFileDialogCount(), 1);
    Win32LayerOpenFileDialog asked = {};
    ASSERT_TRUE(Win32LayerGetOpenFileDialog(0, &asked));
    // The Pocket PC record's 76 bytes on 32-bit machines.
    EXPECT_EQ(asked.struct_size, sizeof(void*) == 4 ? 76u : sizeof(OPENFILENAMEW));
    EXPECT_EQ(asked.flags, 0x00081804u);
    EXPECT_EQ(asked.filter_index, 0u);
    EXPECT_EQ(asked.max_file, 260u);
    const char16_t expected_filter[] =
        u"対応画像ﾌｧｲﾙ(*.bmp;*.jpg;*.jpeg)\0*.bmp;*.jpg;*.jpeg\0"
        u"ﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)\0*.bmp\0"
        u"JPEGﾌｧｲﾙ(*.jpg;*.jpeg)\0*.jpg;*.jpeg\0"
        u"すべてのﾌｧｲﾙ(*.*)\0*.*\0";
    EXPECT_EQ(std::u16string(asked.filter, asked.filter_chars),
              std::u16string(expected_filter, sizeof(expected_filter) / sizeof(char16_t)));
}

TEST_F(OptionsDialogTest, ACancelledOrRefusedBrowseKeepsTheField) {
    Store(0, 24, picture_);
    Win32LayerQueuePressButton(1002);
    Win32LayerQueueChooseFile(Wide(folder_ / "missing.bmp").c_str());  // refused: must exist
    Win32LayerQueueChooseFile(nullptr);                                // then cancelled
    Win32LayerQueuePressButton(IDOK);
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(Stored().path, picture_);
}

TEST_F(OptionsDialogTest, BrowsingThenRemovingSavesNothing) {
    Register();
    Store(0, 24, u"");
    Win32LayerQueuePressButton(1002);
    Win32LayerQueueChooseFile(picture_.c_str());
    Win32LayerQueuePressButton(1000);
    Win32LayerQueueAnswerMessageBox(IDOK);
    Win32LayerQueueAnswerMessageBox(IDOK);
    EXPECT_EQ(RunDialog(), 1);
    EXPECT_EQ(Stored().path, u"");
    EXPECT_FALSE(Registered());
}

TEST_F(OptionsDialogTest, OtherCommandsDoNothing) {
    Store(0, 24, picture_);
    Win32LayerQueuePressButton(IDCANCEL);
    EXPECT_EQ(RunDialog(), -1);  // Cancel does not close it
    EXPECT_EQ(answers.back(), (std::pair<UINT, INT_PTR>{IDCANCEL, FALSE}));
    // Messages it does not handle answer FALSE.
    EXPECT_EQ(lumetta_procedure(nullptr, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(lumetta_procedure(nullptr, WM_COMMAND, 999, 0), FALSE);
}

}  // namespace
