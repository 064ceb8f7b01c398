// What the host does differently on Linux, where the items run on the Win32-subset layer, and on
// Windows, where they run on the system itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The command line's arguments in UTF-8 (on Windows from the UTF-16 command line, so that any
// file name survives).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The item library that comes with this host: beside it on Windows; on Linux the build's for the
// build tree's host, the installed one for an installed host.
std::string DefaultItemLibrary();

// --registry FILE: the layer's registry database file on Linux. Windows has one registry, the
// system's; there the option changes nothing and says so.
void UseRegistryFile(const char* path);
// The options' description of --registry, for --help.
extern const char kRegistryOptionHelp[];

// The emulated device's screen, as the items' GetSystemMetrics reports it: the layer's on Linux,
// the Pocket PC shim's on Windows (pocketpc.h).
void SetEmulatedScreenSize(int width, int height);

// The pixels of a bitmap of the given size as 0x00RRGGBB, top row first.
bool ReadBitmapPixels(HBITMAP bitmap, int width, int height, std::vector<uint32_t>* pixels);

// What to add to "cannot create the host window": why, and what to do about it (Windows: under
// Wine without a display, the command that runs the host on a desktop that needs none).
std::string HostWindowAdvice();

struct TodayScreen;
// Keeps the window on the screen, showing the screen as rendered (the items and the host's own
// lines over them), answering its messages, for the given time (Windows; the layer has no
// screen to show it on).
void KeepOnScreen(HWND window, int seconds, const TodayScreen& screen);
