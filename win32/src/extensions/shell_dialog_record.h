// The layer's record of the last SHInitDialog call, which the Pocket PC shim's SHInitDialog
// keeps on Linux: the host and the tests read it with Win32LayerLastShInitDialog.
#pragma once

#include "win32/base.h"

// Records a call: the dialog, the mask, and the flags (0 when the mask does not name them).
void ShellDialogRecordCall(HWND dialog, DWORD mask, DWORD flags);
