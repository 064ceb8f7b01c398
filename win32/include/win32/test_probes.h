// The layer's probes for tests, beside the Win32 subset: counts of what is alive, the record of
// the last SHInitDialog call, and a modal dialog from a template in memory. Code of varnel and
// lumetta never calls these; they do not exist on Windows.
#pragma once

#include "win32/base.h"
#include "win32/dialogs.h"
#include "win32/fault_points.h"
#include "win32/handle_kinds.h"

extern "C" {
// Live, non-stock handles of one kind (a WIN32LAYER_KIND_ value); -1 for an unknown kind.
WIN32LAYER_API int Win32LayerLiveHandleCount(int kind);
// Blocks of the local heap (LocalAlloc) not yet freed.
WIN32LAYER_API int Win32LayerLiveLocalBlockCount();

// The fault plan (fault_points.h): from now on, count the calls that can fail, at every point
// (point_name null) or at the named one only ("LocalAlloc", "SqliteLock" ...), and make the
// `nth` of them fail (from 1); `nth` 0 only counts. FALSE, and no plan, for an unknown name.
// It replaces the plan that the environment variable WIN32LAYER_FAULT_PLAN set.
WIN32LAYER_API BOOL Win32LayerSetFaultPlan(const char* point_name, int nth);
// While paused, calls are neither counted nor failed (a test's own checks between the steps).
WIN32LAYER_API void Win32LayerPauseFaultPlan(BOOL paused);
// Calls counted since the plan was set, and the point that failed (-1 while none has).
WIN32LAYER_API int Win32LayerFaultPlanReached();
WIN32LAYER_API int Win32LayerFaultPlanFailedPoint();
// A point's name as the plan takes it, what the call returns and the error it then reports
// (fault_points.h); null and 0 for an unknown point.
WIN32LAYER_API const char* Win32LayerFaultPointName(int point);
WIN32LAYER_API const char* Win32LayerFaultPointReturns(int point);
WIN32LAYER_API DWORD Win32LayerFaultPointError(int point);

// The last SHInitDialog call's record: mask and flags. FALSE before any call.
WIN32LAYER_API BOOL Win32LayerLastShInitDialog(HWND* dialog, DWORD* mask, DWORD* flags);

// A modal dialog from a template in memory of `size` bytes, as DialogBoxParamW runs one from a
// resource; the template is checked against its size.
WIN32LAYER_API INT_PTR Win32LayerDialogBoxFromBytes(HINSTANCE instance, const void* bytes,
                                                    size_t size, HWND owner, DLGPROC procedure,
                                                    LPARAM param);
}
