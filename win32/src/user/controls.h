// The predefined control classes (STATIC, EDIT, BUTTON, COMBOBOX) and the dialog class, and a
// person's input to the controls, which the dialog's action loop uses.
#pragma once

#include <string>

#include "win32/dialogs.h"

// The dialog class's name: the atom name Windows gives it.
#define DIALOG_CLASS_NAME u"#32770"

// Registers the control classes and the dialog class on first use. False when one of them
// cannot be registered.
bool EnsureControlClasses();

// The window procedures of the classes, which also tell a control's class.
LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK EditWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ComboBoxWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Sends WM_COMMAND with the control's id and a notification code to its parent.
void NotifyParent(HWND control, WORD code);

// A person selects all of an edit control's text, deletes it and types `text` through the
// control's input rules. False for a control that is not an edit control or is disabled.
bool PersonTypesText(HWND control, const std::u16string& text);
// A person opens a combo box and chooses an entry. False when the entry does not exist or the
// control is not an enabled combo box.
bool PersonChoosesComboEntry(HWND combo, int index);
// A person clicks a button. False for a control that is not an enabled button.
bool PersonClicksButton(HWND button);
