// The loaded ELF objects of the process seen as Win32 modules, and the sections of their files.
#pragma once

#include <cstdint>
#include <string>

#include "win32/base.h"

struct ModuleImage {
    uintptr_t base;    // address of the mapped ELF header: the HMODULE
    uintptr_t bias;    // load bias: what section and segment addresses are relative to
    std::string path;  // full path of the file
};

// The loaded module whose base is module (null: the program). False when there is none.
bool ModuleImageFind(HMODULE module, ModuleImage* out);
// The loaded module with this full path, or with this file name when name has no slash.
bool ModuleImageFindByName(const std::string& name, ModuleImage* out);
// The loaded module that contains the address.
bool ModuleImageContaining(const void* address, ModuleImage* out);

struct ElfSection {
    uint64_t address;  // sh_addr: relative to the load bias when the file is loaded
    uint64_t offset;   // position in the file
    uint64_t size;
};

// The section of that name in an ELF file's section headers; false when the file is not a
// readable ELF file of this process's class (32 or 64-bit) and byte order or has no such section.
bool ElfFindSection(const std::string& path, const char* name, ElfSection* out);
