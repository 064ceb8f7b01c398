// The emulated screen's size, set by the host (Win32LayerSetScreenSize).
#pragma once

int ScreenWidth();
int ScreenHeight();
