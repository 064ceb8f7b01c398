// The layer's typed handle table. Every object that the API hands out as a handle (files, GDI
// objects, device contexts, windows, registry keys, modules) lives in one slot of this table.
// A handle value encodes the slot index and the slot's generation, and the slot records the
// kind of its object, so a handle that was closed (stale) or that names an object of another
// kind fails to look up instead of reaching freed or foreign memory.
//
// Stock objects (the stock brushes, the default bitmap of a memory DC) have slots of their own
// that are never released and are not counted as live.
#pragma once

#include <cstdint>

#include "win32/base.h"
#include "win32/handle_kinds.h"

// The kinds, from the layer's one list of them (the numbers that Win32LayerLiveHandleCount takes).
enum class HandleKind : uint8_t {
#define HANDLE_KIND_ENUMERATOR(NAME, Name) Name = WIN32LAYER_KIND_##NAME,
    WIN32LAYER_HANDLE_KINDS(HANDLE_KIND_ENUMERATOR)
#undef HANDLE_KIND_ENUMERATOR
        Count = WIN32LAYER_KIND_COUNT
};

// Stores object under a fresh handle value; null when the table is full.
HANDLE HandleCreate(HandleKind kind, void* object);
// The same for a stock object: permanent, not counted, and HandleRelease refuses it.
HANDLE HandleCreateStock(HandleKind kind, void* object);
// The object of a live handle of this kind; null when the handle is stale, foreign or of
// another kind.
void* HandleLookup(const void* handle, HandleKind kind);
// Removes a live handle of this kind and returns its object (null, and nothing removed, when
// the handle is stale, of another kind or stock). The caller destroys the object.
void* HandleRelease(const void* handle, HandleKind kind);
// The kind of a live handle; false when the handle is not live.
bool HandleKindOf(const void* handle, HandleKind* kind);
// True for a live stock handle.
bool HandleIsStock(const void* handle);
// Number of live, non-stock handles of a kind.
int HandleLiveCount(HandleKind kind);
