// The layer's side of the fault plan: each call that can fail asks FaultPlanFails first.
#pragma once

#include "win32/fault_points.h"

// Counts a call at `point`; true when it is the one to fail, with the last error set for the
// points that report through it.
bool FaultPlanFails(Win32LayerFaultPoint point);
// The error of a point's row: the status a registry call returns, the code given to SQLite.
DWORD FaultPointError(Win32LayerFaultPoint point);
