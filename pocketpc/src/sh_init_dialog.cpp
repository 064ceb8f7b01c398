// SHInitDialog, the Pocket PC shell's dialog initialisation: sizing the dialog to the screen.
// The Done button and the input panel have no desktop counterpart; on Linux the layer keeps a
// record of what was asked, for the host and the tests (Win32LayerLastShInitDialog).
#include "pocketpc.h"

#ifndef _WIN32
#include "shell_dialog_record.h"
#include "win32/fault_points.h"
#endif

extern "C" WIN32LAYER_API BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || (info->dwMask & ~static_cast<DWORD>(SHIDIM_FLAGS)) != 0) return FALSE;
    if (!IsWindow(info->hDlg)) return FALSE;
#ifndef _WIN32
    if (Win32LayerFaultPointFails(WIN32LAYER_FAULT_SH_INIT_DIALOG)) return FALSE;
#endif
    const DWORD flags = (info->dwMask & SHIDIM_FLAGS) != 0 ? info->dwFlags : 0;
#ifndef _WIN32
    ShellDialogRecordCall(info->hDlg, info->dwMask, flags);
#endif
    if ((flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) != 0) {
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        if (!SetWindowPos(info->hDlg, nullptr, 0, 0, width, height,
                          SWP_NOZORDER | SWP_NOACTIVATE)) {
            return FALSE;
        }
    }
    return TRUE;
}
