// The options dialog on the layer: the person's actions go into the layer's action queue before
// the dialog opens, and the layer performs them whenever the dialog or a message box waits for
// input.
#include "options_dialog_driver.h"
#include "options_dialog_ids.h"
#include "win32/dialog_driver.h"

void DriveOptionsDialog(HMODULE module, DLGPROC procedure, const OptionsActions& actions,
                        OptionsOutcome* outcome) {
    Win32LayerClearActions();
    Win32LayerClearMessageBoxes();
    if (actions.type_path) Win32LayerQueueTypeText(kPathEdit, actions.path.c_str());
    if (actions.browse) {
        Win32LayerQueuePressButton(kBrowseButton);
        Win32LayerQueueChooseFile(actions.browse_path.c_str());
    }
    if (actions.mode >= 0) Win32LayerQueueChooseComboIndex(kModeCombo, actions.mode);
    if (actions.type_height) Win32LayerQueueTypeText(kHeightEdit, actions.height.c_str());
    if (actions.remove) {
        Win32LayerQueuePressButton(kRemoveButton);
        Win32LayerQueueAnswerMessageBox(actions.yes ? IDOK : IDCANCEL);
        if (actions.yes) Win32LayerQueueAnswerMessageBox(IDOK);
    } else {
        Win32LayerQueuePressButton(IDOK);
        Win32LayerQueueAnswerMessageBox(IDOK);  // a warning, if one comes, is read and closed
    }

    outcome->result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(kOptionsDialog), nullptr, procedure, 0);
    outcome->stayed_open = Win32LayerDialogStayedOpen() != FALSE;
    outcome->pending = Win32LayerPendingActionCount();
    outcome->message_boxes.clear();
    for (int i = 0; i < Win32LayerMessageBoxCount(); ++i) {
        Win32LayerMessageBox box = {};
        if (!Win32LayerGetMessageBox(i, &box)) continue;
        outcome->message_boxes.push_back({WideToUtf8(box.text), WideToUtf8(box.caption),
                                          box.default_caption != FALSE, box.type, box.answer});
    }
    Win32LayerClearActions();
}
