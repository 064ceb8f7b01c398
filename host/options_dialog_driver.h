// Opening the item's options dialog and doing in it what a person does. On Linux the layer
// performs the actions from its queue; on Windows the host performs them on the real modal
// dialog, with the messages a person's keys and clicks send.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "text.h"

// What the person does, in this order: type the path, browse to a file, choose the placement,
// type the height; then press the shell's OK and dismiss a warning with OK, or (remove) press
// the removal button, answer the confirmation with OK (yes) or Cancel and, after OK, the notice.
struct OptionsActions {
    bool type_path;
    WideString path;
    bool browse;
    WideString browse_path;
    int mode;  // the combo box entry to choose; -1 for none
    bool type_height;
    WideString height;
    bool remove;
    bool yes;
    bool person;   // no actions: the dialog is left to a person at the screen
    int delay_ms;  // Windows: the pause before each action, for watching or screenshots
};

// A message box as it was shown and answered.
struct ShownMessageBox {
    std::string text;      // UTF-8
    std::string caption;   // UTF-8, as shown
    bool default_caption;  // known to be the platform's default (the caller gave none)
    UINT type;             // MB_ flags: buttons and icon
    int answer;            // the button pressed; 0 when the box stayed open
};

struct OptionsOutcome {
    INT_PTR result;    // DialogBoxParamW's
    bool stayed_open;  // the actions ran out with the dialog still open (it was then closed)
    int pending;       // actions not performed because the dialog ended before them
    std::vector<ShownMessageBox> message_boxes;
};

// Opens template 500 of the module with the procedure, modal, and performs the actions.
void DriveOptionsDialog(HMODULE module, DLGPROC procedure, const OptionsActions& actions,
                        OptionsOutcome* outcome);
