// Export ordinal 241, the dialog procedure of the options dialog (template 500) that the Today
// host opens from its settings screen. The dialog handles no message yet.
#include <windows.h>

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
