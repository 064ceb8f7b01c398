// The record of the last SHInitDialog call, for the host and the tests.
#include "shell_dialog_record.h"

#include "win32/test_probes.h"

namespace {

struct ShellDialogRecord {
    bool called = false;
    HWND dialog = nullptr;
    DWORD mask = 0;
    DWORD flags = 0;
};

ShellDialogRecord& LastCall() {
    static ShellDialogRecord record;
    return record;
}

}  // namespace

void ShellDialogRecordCall(HWND dialog, DWORD mask, DWORD flags) {
    LastCall() = ShellDialogRecord{true, dialog, mask, flags};
}

extern "C" WIN32LAYER_API BOOL Win32LayerLastShInitDialog(HWND* dialog, DWORD* mask,
                                                          DWORD* flags) {
    const ShellDialogRecord& record = LastCall();
    if (!record.called) return FALSE;
    if (dialog != nullptr) *dialog = record.dialog;
    if (mask != nullptr) *mask = record.mask;
    if (flags != nullptr) *flags = record.flags;
    return TRUE;
}
