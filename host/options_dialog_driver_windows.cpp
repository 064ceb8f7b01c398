// The options dialog on Windows: a real modal dialog, DialogBoxParamW with template 500 and the
// item's ordinal 241. A thread timer, which every modal loop of the thread dispatches (the
// dialog's, a message box's, the file-open dialog's), performs the person's actions one at a
// time with the messages that keys and clicks send: WM_CHAR into the edits, the combo box's
// selection and notifications, BM_CLICK on buttons. It reads each message box that the dialog
// shows (text, caption, buttons and icon) before answering it, and fills the file-open dialog's
// file name field before pressing its OK button.
//
// The host also stands in for the shell around the dialog: Enter (IDOK) is the shell's OK
// button, and Escape or closing the window leave the dialog without saving, which the item's
// procedure does not handle itself.
#include "options_dialog_driver.h"
#include "options_dialog_ids.h"

namespace {

// The file-open dialog's file name field: the explorer-style combo box, or the old-style edit.
const int kFileNameCombo = 0x47C;  // cmb13
const int kFileNameEdit = 0x480;   // edt1

const UINT kTickMilliseconds = 20;
// How many ticks a step waits for its window (a message box, the file-open dialog) while the
// options dialog is idle, and for how long the dialog may sit idle after the last action before
// it counts as left open.
const int kIdleTicks = 25;

enum class StepKind {
    TypePath,
    PressBrowse,
    ChooseFile,
    ChooseMode,
    TypeHeight,
    PressOk,
    PressRemove,
    AnswerBox
};

struct Step {
    StepKind kind;
    int answer;  // AnswerBox: the button to press
};

struct Driver {
    const OptionsActions* actions;
    std::vector<Step> steps;
    size_t next;
    HWND dialog;
    WNDPROC dialog_procedure;  // the dialog's own, behind the host's
    int idle;                  // ticks without progress while the dialog waits for input
    ULONGLONG last_progress;   // when the last action was performed
    bool stayed_open;
    std::vector<ShownMessageBox> boxes;
};

// One options dialog per process at a time: the hook, the subclass and the timer find it here.
Driver* running = nullptr;

bool IsDialogClass(HWND window) {
    WCHAR name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpW(name, L"#32770") == 0;
}

// Enter is the shell's OK button (it reaches the procedure as IDOK); Escape and closing the
// window leave the dialog, as leaving the settings screen does.
LRESULT CALLBACK HostDialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if ((message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) || message == WM_CLOSE) {
        EndDialog(window, 0);
        return 0;
    }
    return CallWindowProcW(running->dialog_procedure, window, message, wparam, lparam);
}

// The first dialog window that the thread creates is the options dialog.
LRESULT CALLBACK WatchCreation(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND && running != nullptr && running->dialog == nullptr) {
        HWND window = reinterpret_cast<HWND>(wparam);
        if (IsDialogClass(window)) {
            running->dialog = window;
            running->dialog_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostDialogProcedure)));
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<OwnedSearch*>(data);
    if (window != search->owner && GetWindow(window, GW_OWNER) == search->owner &&
        IsDialogClass(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A dialog window (message box or file-open dialog) that the options dialog owns, or null.
HWND OwnedDialog(HWND dialog) {
    OwnedSearch search = {dialog, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsFileDialog(HWND window) {
    return GetDlgItem(window, kFileNameCombo) != nullptr ||
           GetDlgItem(window, kFileNameEdit) != nullptr;
}

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    WideString text(static_cast<size_t>(length) + 1, 0);
    GetWindowTextW(window, text.data(), length + 1);
    return WideToUtf8(text.c_str());
}

bool HasVisibleButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The MB_ button set that the box shows.
UINT ButtonsOf(HWND box) {
    bool ok = HasVisibleButton(box, IDOK);
    bool cancel = HasVisibleButton(box, IDCANCEL);
    bool yes = HasVisibleButton(box, IDYES);
    bool no = HasVisibleButton(box, IDNO);
    if (HasVisibleButton(box, IDABORT)) return MB_ABORTRETRYIGNORE;
    if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (HasVisibleButton(box, IDRETRY)) return MB_RETRYCANCEL;
    if (HasVisibleButton(box, IDCONTINUE)) return MB_CANCELTRYCONTINUE;
    return ok && cancel ? MB_OKCANCEL : MB_OK;
}

struct BoxParts {
    std::string text;
    UINT icon;
};

// The box's static controls: the icon (one of the system's shared icons) and the text.
BOOL CALLBACK ReadBoxPart(HWND control, LPARAM data) {
    auto* parts = reinterpret_cast<BoxParts*>(data);
    WCHAR name[16] = {};
    GetClassNameW(control, name, 16);
    if (lstrcmpiW(name, L"Static") != 0) return TRUE;
    if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
        static const struct {
            LPCWSTR id;
            UINT flag;
        } kIcons[] = {{IDI_HAND, MB_ICONHAND},
                      {IDI_QUESTION, MB_ICONQUESTION},
                      {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                      {IDI_ASTERISK, MB_ICONASTERISK}};
        for (const auto& known : kIcons) {
            if (icon != nullptr && icon == LoadIconW(nullptr, known.id)) parts->icon = known.flag;
        }
    } else if (parts->text.empty()) {
        parts->text = WindowText(control);
    }
    return TRUE;
}

ShownMessageBox ReadMessageBox(HWND box) {
    BoxParts parts = {std::string(), 0};
    EnumChildWindows(box, ReadBoxPart, reinterpret_cast<LPARAM>(&parts));
    ShownMessageBox shown = {};
    shown.text = parts.text;
    shown.caption = WindowText(box);
    shown.default_caption = false;  // the box does not tell
    shown.type = ButtonsOf(box) | parts.icon;
    return shown;
}

// Presses the button as a click does; a box without it gets the command directly.
void PressButton(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (button != nullptr) {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
}

// Selects the field's text and types over it, as a person does.
void TypeText(HWND dialog, int id, const WideString& text) {
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_KEYDOWN, VK_DELETE, 0);
    for (WCHAR c : text) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
}

void ChooseComboEntry(HWND dialog, int id, int index) {
    HWND combo = GetDlgItem(dialog, id);
    auto notify = [&](WORD code) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(combo));
    };
    notify(CBN_DROPDOWN);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    notify(CBN_SELCHANGE);
    notify(CBN_SELENDOK);
    notify(CBN_CLOSEUP);
}

// Closes every dialog of the thread, the options dialog last.
BOOL CALLBACK EndOtherDialog(HWND window, LPARAM data) {
    if (window != reinterpret_cast<HWND>(data) && IsDialogClass(window)) EndDialog(window, 0);
    return TRUE;
}

void LeaveOpenDialog(Driver* driver) {
    driver->stayed_open = true;
    EnumThreadWindows(GetCurrentThreadId(), EndOtherDialog,
                      reinterpret_cast<LPARAM>(driver->dialog));
    EndDialog(driver->dialog, 0);
}

// Performs the next step when its window is there; true when it was performed.
bool PerformStep(Driver* driver, const Step& step, HWND owned) {
    HWND dialog = driver->dialog;
    const OptionsActions& actions = *driver->actions;
    switch (step.kind) {
        case StepKind::ChooseFile:
            if (owned == nullptr || !IsFileDialog(owned)) return false;
            SetDlgItemTextW(
                owned,
                GetDlgItem(owned, kFileNameCombo) != nullptr ? kFileNameCombo : kFileNameEdit,
                actions.browse_path.c_str());
            PressButton(owned, IDOK);
            return true;
        case StepKind::AnswerBox: {
            if (owned == nullptr || IsFileDialog(owned)) return false;
            ShownMessageBox shown = ReadMessageBox(owned);
            shown.answer = step.answer;
            driver->boxes.push_back(shown);
            PressButton(owned, step.answer);
            return true;
        }
        default:
            break;
    }
    // The other steps work on the options dialog, once nothing else is open over it.
    if (owned != nullptr || !IsWindowEnabled(dialog)) return false;
    switch (step.kind) {
        case StepKind::TypePath:
            TypeText(dialog, kPathEdit, actions.path);
            break;
        case StepKind::PressBrowse:
            PressButton(dialog, kBrowseButton);
            break;
        case StepKind::ChooseMode:
            ChooseComboEntry(dialog, kModeCombo, actions.mode);
            break;
        case StepKind::TypeHeight:
            TypeText(dialog, kHeightEdit, actions.height);
            break;
        case StepKind::PressOk:
            // The shell's OK button in the title bar: the dialog has no button of its own.
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            break;
        case StepKind::PressRemove:
            PressButton(dialog, kRemoveButton);
            break;
        default:
            return false;
    }
    return true;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Driver* driver = running;
    if (driver == nullptr || driver->dialog == nullptr || !IsWindow(driver->dialog)) return;
    const ULONGLONG now = GetTickCount64();
    if (now - driver->last_progress < static_cast<ULONGLONG>(driver->actions->delay_ms)) return;
    HWND owned = OwnedDialog(driver->dialog);
    if (driver->next < driver->steps.size() &&
        PerformStep(driver, driver->steps[driver->next], owned)) {
        ++driver->next;
        driver->idle = 0;
        driver->last_progress = now;
        return;
    }
    // Waiting: for a window that a step needs, or, with no step left, for the dialog to end.
    // Time counts only while nothing is open over the dialog (a person would look at it).
    if (owned == nullptr && IsWindowEnabled(driver->dialog) && ++driver->idle >= kIdleTicks)
        LeaveOpenDialog(driver);
}

std::vector<Step> PlanSteps(const OptionsActions& actions) {
    std::vector<Step> steps;
    if (actions.type_path) steps.push_back({StepKind::TypePath, 0});
    if (actions.browse) {
        steps.push_back({StepKind::PressBrowse, 0});
        steps.push_back({StepKind::ChooseFile, 0});
    }
    if (actions.mode >= 0) steps.push_back({StepKind::ChooseMode, 0});
    if (actions.type_height) steps.push_back({StepKind::TypeHeight, 0});
    if (actions.remove) {
        steps.push_back({StepKind::PressRemove, 0});
        steps.push_back({StepKind::AnswerBox, actions.yes ? IDOK : IDCANCEL});
        if (actions.yes) steps.push_back({StepKind::AnswerBox, IDOK});
    } else {
        steps.push_back({StepKind::PressOk, 0});
        steps.push_back({StepKind::AnswerBox, IDOK});  // a warning, if one comes
    }
    return steps;
}

}  // namespace

void DriveOptionsDialog(HMODULE module, DLGPROC procedure, const OptionsActions& actions,
                        OptionsOutcome* outcome) {
    Driver driver = {};
    driver.actions = &actions;
    driver.last_progress = GetTickCount64();
    if (!actions.person) driver.steps = PlanSteps(actions);
    running = &driver;
    HHOOK hook = SetWindowsHookExW(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
    UINT_PTR timer = actions.person ? 0 : SetTimer(nullptr, 0, kTickMilliseconds, Tick);

    outcome->result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(kOptionsDialog), nullptr, procedure, 0);

    if (timer != 0) KillTimer(nullptr, timer);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    running = nullptr;
    outcome->stayed_open = driver.stayed_open;
    outcome->pending = static_cast<int>(driver.steps.size() - driver.next);
    outcome->message_boxes = driver.boxes;
}
