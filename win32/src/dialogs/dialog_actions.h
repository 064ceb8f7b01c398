// The queue of a person's actions that drives the headless modal dialogs, message boxes and
// file-open dialogs, and the state they share while one runs.
#pragma once

#include <string>

#include "win32/base.h"

enum class ActionKind {
    TypeText,          // id, text
    ChooseComboIndex,  // id, number
    ChooseComboText,   // id, text
    PressButton,       // id
    AnswerMessageBox,  // number
    ChooseFile,        // text
    CancelFile,
};

struct PersonAction {
    ActionKind kind;
    int id = 0;
    int number = 0;
    std::u16string text;
};

// The next action, or null when none is left. It stays queued until PopAction.
const PersonAction* PeekAction();
void PopAction();

// A message box or file-open dialog that found no answer stays open, and with it every modal
// dialog below it: they stop taking actions and return.
void MarkModalStuck();
bool ModalStuck();
// Entering and leaving a modal dialog; the outermost entry clears a stuck state left behind by
// an earlier run. Leaving records whether the dialog stayed open.
void EnterModalDialog();
void LeaveModalDialog(bool stayed_open);
// Records the outcome of a dialog that could not be made (it did not stay open).
void RecordDialogOutcome(bool stayed_open);
