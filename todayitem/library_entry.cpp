// The library entry point: the loader calls it on process and thread attach and detach, and
// every call records the instance handle.
#include <windows.h>

#include "item_state.h"
#include "win32/dll_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    item_instance = instance;
    return TRUE;
}
