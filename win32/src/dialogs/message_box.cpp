// Message boxes, headless: each one is recorded as shown (owner, text, caption, type) and
// answered by the next queued action, which must press one of the box's buttons. Escape
// (IDCANCEL) on a box with only an OK button answers IDOK, as on Windows. Without a fitting
// answer the box stays open: MessageBoxW returns 0 and the modal dialogs below it stop.
//
// A null caption shows "Error", the default title of Windows CE and desktop Windows (an
// English system's; localised systems translate it).
#include <deque>
#include <string>

#include "dialog_actions.h"
#include "fault_plan.h"
#include "win32/dialog_driver.h"

namespace {

struct ShownBox {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    bool default_caption;
    UINT type;
    int answer;
};

// A deque keeps the texts in place while more boxes are recorded.
std::deque<ShownBox>& ShownBoxes() {
    static std::deque<ShownBox> boxes;
    return boxes;
}

// Whether a box of `type` offers the button `answer`; sets *given to what the box returns.
bool Offers(UINT type, int answer, int* given) {
    *given = answer;
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            if (answer == IDCANCEL) *given = IDOK;
            return answer == IDOK || answer == IDCANCEL;
        case MB_OKCANCEL:
            return answer == IDOK || answer == IDCANCEL;
        case MB_ABORTRETRYIGNORE:
            return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
        case MB_YESNOCANCEL:
            return answer == IDYES || answer == IDNO || answer == IDCANCEL;
        case MB_YESNO:
            return answer == IDYES || answer == IDNO;
        case MB_RETRYCANCEL:
            return answer == IDRETRY || answer == IDCANCEL;
        default:
            return false;
    }
}

}  // namespace

extern "C" {

WIN32LAYER_API int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    if ((type & MB_TYPEMASK) > MB_RETRYCANCEL) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_MESSAGE_BOX)) return 0;
    ShownBox box{owner,
                 text != nullptr ? text : u"",
                 caption != nullptr ? caption : u"Error",
                 caption == nullptr,
                 type,
                 0};
    const PersonAction* next = PeekAction();
    int given = 0;
    if (next != nullptr && next->kind == ActionKind::AnswerMessageBox &&
        Offers(type, next->number, &given)) {
        PopAction();
        box.answer = given;
    } else {
        MarkModalStuck();
    }
    ShownBoxes().push_back(std::move(box));
    return ShownBoxes().back().answer;
}

WIN32LAYER_API int Win32LayerMessageBoxCount() {
    return static_cast<int>(ShownBoxes().size());
}

WIN32LAYER_API BOOL Win32LayerGetMessageBox(int index, Win32LayerMessageBox* box) {
    auto& boxes = ShownBoxes();
    if (box == nullptr || index < 0 || static_cast<size_t>(index) >= boxes.size()) return FALSE;
    const ShownBox& shown = boxes[static_cast<size_t>(index)];
    box->owner = shown.owner;
    box->text = shown.text.c_str();
    box->caption = shown.caption.c_str();
    box->default_caption = shown.default_caption ? TRUE : FALSE;
    box->type = shown.type;
    box->answer = shown.answer;
    return TRUE;
}

WIN32LAYER_API void Win32LayerClearMessageBoxes() {
    ShownBoxes().clear();
}

}  // extern "C"
