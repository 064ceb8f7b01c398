// SHInitDialog for the desktop: the Pocket PC shell's dialog initialisation, reduced to what a
// desktop window can do. Sizing is honoured; the Done button and the input panel do not exist.
#include "pocketpc.h"

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || (info->dwMask & ~static_cast<DWORD>(SHIDIM_FLAGS)) != 0) return FALSE;
    if (!IsWindow(info->hDlg)) return FALSE;
    if ((info->dwMask & SHIDIM_FLAGS) == 0) return TRUE;
    if ((info->dwFlags &
         (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) != 0) {
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        if (!SetWindowPos(info->hDlg, nullptr, 0, 0, width, height,
                          SWP_NOZORDER | SWP_NOACTIVATE)) {
            return FALSE;
        }
    }
    return TRUE;
}
