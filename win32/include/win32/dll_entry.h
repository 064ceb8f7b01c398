// The library entry point on Linux. Windows calls a library's DllMain when it loads and
// unloads it; include this header in the one source file of a library that defines DllMain and
// the library gets the same calls from its ELF constructor and destructor, with its base
// address as the instance handle. Thread notifications have no counterpart here. DllMain is not
// exported: the library's export list comes from its module-definition file alone.
#pragma once

#include "win32/base.h"
#include "win32/modules.h"

#ifndef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The linker defines __ehdr_start at the ELF header of the object being linked, which is
// where the module's HMODULE points.
extern "C" const char __ehdr_start[] __attribute__((visibility("hidden")));

namespace {

HINSTANCE DllEntryInstance() {
    return reinterpret_cast<HINSTANCE>(const_cast<char*>(__ehdr_start));
}

__attribute__((constructor)) void DllEntryProcessAttach() {
    DllMain(DllEntryInstance(), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void DllEntryProcessDetach() {
    DllMain(DllEntryInstance(), DLL_PROCESS_DETACH, nullptr);
}

}  // namespace

#endif
