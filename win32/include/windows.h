// The Linux layer's stand-in for <windows.h>: the subset of the Win32 API that varnel, lumetta
// and their tools use, with the semantics that their code relies on. Each area has a header of
// its own under win32/.
#pragma once

#include "win32/base.h"
#include "win32/kernel.h"
#include "win32/gdi.h"
#include "win32/user.h"
#include "win32/code_pages.h"
#include "win32/modules.h"
#include "win32/resources.h"
#include "win32/registry.h"
#include "win32/dialogs.h"
#include "win32/common_dialogs.h"
