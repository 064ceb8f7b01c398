// The action queue. Like the windows it drives, it belongs to the user-interface thread.
#include "dialog_actions.h"

#include <deque>

#include "win32/dialog_driver.h"

namespace {

struct ActionState {
    std::deque<PersonAction> queue;
    bool stuck = false;
    int depth = 0;
    bool last_stayed_open = false;
};

ActionState& State() {
    static ActionState state;
    return state;
}

void Queue(PersonAction action) {
    State().queue.push_back(std::move(action));
}

std::u16string TextOrEmpty(LPCWSTR text) {
    return text != nullptr ? std::u16string(text) : std::u16string();
}

}  // namespace

const PersonAction* PeekAction() {
    ActionState& state = State();
    return state.queue.empty() ? nullptr : &state.queue.front();
}

void PopAction() {
    ActionState& state = State();
    if (!state.queue.empty()) state.queue.pop_front();
}

void MarkModalStuck() {
    State().stuck = true;
}

bool ModalStuck() {
    return State().stuck;
}

void EnterModalDialog() {
    ActionState& state = State();
    if (state.depth == 0) state.stuck = false;
    ++state.depth;
}

void LeaveModalDialog(bool stayed_open) {
    ActionState& state = State();
    if (state.depth > 0) --state.depth;
    state.last_stayed_open = stayed_open;
}

void RecordDialogOutcome(bool stayed_open) {
    State().last_stayed_open = stayed_open;
}

extern "C" {

WIN32LAYER_API void Win32LayerQueueTypeText(int id, LPCWSTR text) {
    Queue(PersonAction{ActionKind::TypeText, id, 0, TextOrEmpty(text)});
}

WIN32LAYER_API void Win32LayerQueueChooseComboIndex(int id, int index) {
    Queue(PersonAction{ActionKind::ChooseComboIndex, id, index, {}});
}

WIN32LAYER_API void Win32LayerQueueChooseComboText(int id, LPCWSTR text) {
    Queue(PersonAction{ActionKind::ChooseComboText, id, 0, TextOrEmpty(text)});
}

WIN32LAYER_API void Win32LayerQueuePressButton(int id) {
    Queue(PersonAction{ActionKind::PressButton, id, 0, {}});
}

WIN32LAYER_API void Win32LayerQueueAnswerMessageBox(int answer) {
    Queue(PersonAction{ActionKind::AnswerMessageBox, 0, answer, {}});
}

WIN32LAYER_API void Win32LayerQueueChooseFile(LPCWSTR path) {
    if (path == nullptr) {
        Queue(PersonAction{ActionKind::CancelFile, 0, 0, {}});
    } else {
        Queue(PersonAction{ActionKind::ChooseFile, 0, 0, path});
    }
}

WIN32LAYER_API void Win32LayerClearActions() {
    ActionState& state = State();
    state.queue.clear();
    state.stuck = false;
}

WIN32LAYER_API int Win32LayerPendingActionCount() {
    return static_cast<int>(State().queue.size());
}

WIN32LAYER_API BOOL Win32LayerDialogStayedOpen() {
    return State().last_stayed_open ? TRUE : FALSE;
}

}  // extern "C"
