// FindResource, LoadResource and SizeofResource over the resource stream that the build embeds
// in each library as the section ".win32res". The section is mapped with the library, so a
// resource's bytes are read in place, as Windows reads them from the mapped image; an HRSRC
// points at the resource's record in that section.
#include <cstring>

#include "modules_elf.h"
#include "resources_stream.h"
#include "win32/resources.h"

namespace {

const char kResourceSection[] = ".win32res";

struct MappedResources {
    const BYTE* stream;
    size_t size;
};

bool ModuleResources(HMODULE module, MappedResources* out) {
    ModuleImage image;
    ElfSection section;
    if (!ModuleImageFind(module, &image) ||
        !ElfFindSection(image.path, kResourceSection, &section) || section.address == 0)
        return false;
    out->stream = reinterpret_cast<const BYTE*>(image.bias + section.address);
    out->size = static_cast<size_t>(section.size);
    return true;
}

// The record of resource in the module's stream; false when resource is not one of them.
bool ModuleRecord(HMODULE module, HRSRC resource, ResourceRecord* out) {
    MappedResources mapped;
    if (resource == nullptr || !ModuleResources(module, &mapped)) return false;
    return ResourceRecordRead(mapped.stream, mapped.size, reinterpret_cast<const BYTE*>(resource),
                              out);
}

}  // namespace

extern "C" {

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    MappedResources mapped;
    if (type == nullptr || name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!ModuleResources(module, &mapped)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    DWORD error = ERROR_RESOURCE_DATA_NOT_FOUND;
    const BYTE* record =
        ResourceStreamFind(mapped.stream, mapped.size, type, name, language, &error);
    if (record == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<BYTE*>(record));
}

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    return FindResourceExW(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    ResourceRecord record;
    if (!ModuleRecord(module, resource, &record)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<BYTE*>(record.data);
}

LPVOID WINAPI LockResource(HGLOBAL data) {
    return data;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    ResourceRecord record;
    if (!ModuleRecord(module, resource, &record)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return record.data_size;
}

}  // extern "C"
