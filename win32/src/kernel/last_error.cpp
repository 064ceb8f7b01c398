// The calling thread's last-error code.
#include "win32/kernel.h"

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

extern "C" WIN32LAYER_API DWORD WINAPI GetLastError() {
    return last_error;
}

extern "C" WIN32LAYER_API void WINAPI SetLastError(DWORD code) {
    last_error = code;
}
