// SHInitDialog, the Pocket PC shell's dialog initialisation: sizing to the screen, and a
// record of what was asked for the host and tests.
#include "pocketpc.h"
#include "win32/layer.h"

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

extern "C" {

WIN32LAYER_API BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || (info->dwMask & ~static_cast<DWORD>(SHIDIM_FLAGS)) != 0) return FALSE;
    if (!IsWindow(info->hDlg)) return FALSE;
    ShellDialogRecord& record = LastCall();
    record = ShellDialogRecord{true, info->hDlg, info->dwMask,
                               (info->dwMask & SHIDIM_FLAGS) != 0 ? info->dwFlags : 0};
    if ((record.flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) !=
        0) {
        int width = GetSystemMetrics(SM_CXSCREEN);
        int height = GetSystemMetrics(SM_CYSCREEN);
        if (!SetWindowPos(info->hDlg, nullptr, 0, 0, width, height,
                          SWP_NOZORDER | SWP_NOACTIVATE)) {
            return FALSE;
        }
    }
    return TRUE;
}

WIN32LAYER_API BOOL Win32LayerLastShInitDialog(HWND* dialog, DWORD* mask, DWORD* flags) {
    const ShellDialogRecord& record = LastCall();
    if (!record.called) return FALSE;
    if (dialog != nullptr) *dialog = record.dialog;
    if (mask != nullptr) *mask = record.mask;
    if (flags != nullptr) *flags = record.flags;
    return TRUE;
}

}  // extern "C"
