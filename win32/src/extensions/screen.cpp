// The emulated screen's size: set by the host (Win32LayerSetScreenSize), read by the system
// metrics, the screen DC and the windows that cover the screen.
#include "screen.h"

#include <atomic>

#include "win32/host_services.h"

namespace {
std::atomic<int> screen_width{240};
std::atomic<int> screen_height{320};
}  // namespace

int ScreenWidth() {
    return screen_width.load();
}
int ScreenHeight() {
    return screen_height.load();
}

extern "C" WIN32LAYER_API void Win32LayerSetScreenSize(int width, int height) {
    if (width < 1 || height < 1) return;
    screen_width.store(width);
    screen_height.store(height);
}
