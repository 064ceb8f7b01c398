// LoadLibrary and its companions over the dynamic linker. A module's HMODULE is its base
// address, so a module loaded by the program's own links (the program itself, a library that
// another one needs) has a handle too; only modules loaded here are counted and freed here.
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "modules_elf.h"
#include "utf16_path.h"
#include "win32/modules.h"

namespace {

struct LoadedModule {
    void* library;  // dlopen's handle
    int references;
};

std::mutex& ModulesLock() {
    static std::mutex lock;
    return lock;
}

// Modules loaded by LoadLibraryW, by base address.
std::map<uintptr_t, LoadedModule>& LoadedModules() {
    static std::map<uintptr_t, LoadedModule> modules;
    return modules;
}

// The export's symbol name: the name itself, or "ordinal.<n>" for an ordinal.
std::string ExportSymbol(LPCSTR name) {
    if (IS_INTRESOURCE(name)) {
        char symbol[32];
        snprintf(symbol, sizeof(symbol), "ordinal.%u",
                 static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
        return symbol;
    }
    return name;
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR path) {
    std::string file;
    if (path == nullptr || path[0] == u'\0' || !WindowsPathToLinux(path, &file)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    link_map* map = nullptr;
    ModuleImage image;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        !ModuleImageContaining(map->l_ld, &image)) {
        dlclose(library);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(ModulesLock());
    LoadedModule& loaded = LoadedModules()[image.base];
    if (loaded.references > 0) {
        // dlopen counted this load too; one dlclose per FreeLibrary keeps the counts equal.
        ++loaded.references;
    } else {
        loaded.library = library;
        loaded.references = 1;
    }
    return reinterpret_cast<HMODULE>(image.base);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    void* library = nullptr;
    {
        std::lock_guard<std::mutex> hold(ModulesLock());
        auto found = LoadedModules().find(reinterpret_cast<uintptr_t>(module));
        if (found == LoadedModules().end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        library = found->second.library;
        if (--found->second.references == 0) LoadedModules().erase(found);
    }
    // Outside the lock: unloading runs the library's destructors, which may call back here.
    dlclose(library);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    ModuleImage image;
    if (name == nullptr || !ModuleImageFind(module, &image)) {
        SetLastError(name == nullptr ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A handle of the module for dlsym, without changing its reference count for long.
    void* library = module == nullptr ? dlopen(nullptr, RTLD_NOW)
                                      : dlopen(image.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* address = dlsym(library, ExportSymbol(name).c_str());
    dlclose(library);
    // dlsym also searches what the module links against; an export must be the module's own.
    ModuleImage owner;
    if (address == nullptr || !ModuleImageContaining(address, &owner) || owner.base != image.base) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
    ModuleImage image;
    std::u16string text;
    if (!ModuleImageFind(module, &image) || !Utf8ToUtf16(image.path, &text)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0 || path == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() < size) {
        text.copy(path, text.size());
        path[text.size()] = u'\0';
        return static_cast<DWORD>(text.size());
    }
    text.copy(path, size - 1);
    path[size - 1] = u'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    ModuleImage image;
    std::string file;
    bool found = name == nullptr
                     ? ModuleImageFind(nullptr, &image)
                     : WindowsPathToLinux(name, &file) && ModuleImageFindByName(file, &image);
    if (!found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(image.base);
}

}  // extern "C"
