// Live-handle counts for tests and the host.
#include "handle_table.h"
#include "win32/test_probes.h"

extern "C" WIN32LAYER_API int Win32LayerLiveHandleCount(int kind) {
    if (kind < 0 || kind >= static_cast<int>(HandleKind::Count)) return -1;
    return HandleLiveCount(static_cast<HandleKind>(kind));
}
