// The kinds of object that the layer hands out as handles: the one list from which both the
// layer's typed handle table (HandleKind) and the kinds that Win32LayerLiveHandleCount takes
// (WIN32LAYER_KIND_*) are made, in this order, numbered from 0.
#pragma once

// KIND(NAME, Name): the upper-case name of the WIN32LAYER_KIND_ constant, the HandleKind name.
#define WIN32LAYER_HANDLE_KINDS(KIND) \
    KIND(FILE, File)                  \
    KIND(BITMAP, Bitmap)              \
    KIND(MEMORY_DC, MemoryDC)         \
    KIND(WINDOW_DC, WindowDC)         \
    KIND(BRUSH, Brush)                \
    KIND(WINDOW, Window)              \
    KIND(REGISTRY_KEY, RegistryKey)   \
    KIND(MODULE, Module)

// Values of Win32LayerLiveHandleCount's kind.
enum Win32LayerHandleKind {
#define WIN32LAYER_KIND_ENUMERATOR(NAME, Name) WIN32LAYER_KIND_##NAME,
    WIN32LAYER_HANDLE_KINDS(WIN32LAYER_KIND_ENUMERATOR)
#undef WIN32LAYER_KIND_ENUMERATOR
        WIN32LAYER_KIND_COUNT
};
