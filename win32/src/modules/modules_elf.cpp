// Module enumeration through the dynamic linker's list of loaded objects, and lookup of ELF
// sections by name in a file's section header table.
#include "modules_elf.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string ProgramPath() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(length));
}

std::string AbsolutePath(const char* name) {
    if (name == nullptr || name[0] == '\0') return ProgramPath();
    char* resolved = realpath(name, nullptr);
    if (resolved == nullptr) return std::string(name);
    std::string path(resolved);
    free(resolved);
    return path;
}

// The mapped address of the ELF header: the segment that starts at file offset 0.
uintptr_t ImageBase(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && segment.p_offset == 0) {
            return info->dlpi_addr + segment.p_vaddr;
        }
    }
    return info->dlpi_addr;
}

struct Search {
    // Exactly one criterion is used.
    uintptr_t base;
    bool program;
    const std::string* name;
    uintptr_t address;
    bool by_address;
    // Result.
    bool found;
    uintptr_t found_base;
    uintptr_t found_bias;
    std::string found_name;
};

bool ContainsAddress(const dl_phdr_info* info, uintptr_t address) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (address >= start && address - start < segment.p_memsz) return true;
    }
    return false;
}

bool NameMatches(const char* object_name, const std::string& wanted) {
    std::string path = AbsolutePath(object_name);
    if (wanted.find('/') != std::string::npos) return path == AbsolutePath(wanted.c_str());
    size_t slash = path.rfind('/');
    return path.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, wanted) == 0;
}

int Visit(dl_phdr_info* info, size_t, void* data) {
    Search* search = static_cast<Search*>(data);
    bool is_program = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
    bool match;
    if (search->by_address) {
        match = ContainsAddress(info, search->address);
    } else if (search->program) {
        match = is_program;
    } else if (search->name != nullptr) {
        match = !is_program && NameMatches(info->dlpi_name, *search->name);
    } else {
        match = ImageBase(info) == search->base;
    }
    if (!match) return 0;
    search->found = true;
    search->found_base = ImageBase(info);
    search->found_bias = info->dlpi_addr;
    search->found_name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    return 1;
}

bool RunSearch(Search* search, ModuleImage* out) {
    search->found = false;
    dl_iterate_phdr(Visit, search);
    if (!search->found) return false;
    out->base = search->found_base;
    out->bias = search->found_bias;
    out->path = AbsolutePath(search->found_name.c_str());
    return true;
}

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
    if (offset > static_cast<uint64_t>(LLONG_MAX)) return false;
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

// The ELF class of this process's own objects, whose headers ElfW names: the modules it loads
// are of the same class.
constexpr unsigned char kNativeClass = sizeof(ElfW(Addr)) == 8 ? ELFCLASS64 : ELFCLASS32;

bool FindSectionIn(int fd, const char* name, ElfSection* out) {
    ElfW(Ehdr) header;
    if (!ReadAt(fd, 0, &header, sizeof(header))) return false;
    if (memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kNativeClass)
        return false;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (header.e_ident[EI_DATA] != ELFDATA2LSB) return false;
#else
    if (header.e_ident[EI_DATA] != ELFDATA2MSB) return false;
#endif
    if (header.e_shentsize != sizeof(ElfW(Shdr)) || header.e_shnum == 0 ||
        header.e_shstrndx >= header.e_shnum)
        return false;
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    if (!ReadAt(fd, header.e_shoff, sections.data(), sections.size() * sizeof(ElfW(Shdr))))
        return false;
    const ElfW(Shdr)& names = sections[header.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > (1u << 24)) return false;
    std::vector<char> strings(names.sh_size);
    if (!ReadAt(fd, names.sh_offset, strings.data(), strings.size())) return false;
    strings.back() = '\0';
    for (const ElfW(Shdr) & section : sections) {
        if (section.sh_name >= strings.size()) continue;
        if (strcmp(&strings[section.sh_name], name) != 0) continue;
        if (section.sh_type == SHT_NOBITS) return false;
        out->address = section.sh_addr;
        out->offset = section.sh_offset;
        out->size = section.sh_size;
        return true;
    }
    return false;
}

}  // namespace

bool ModuleImageFind(HMODULE module, ModuleImage* out) {
    Search search{};
    search.program = module == nullptr;
    search.base = reinterpret_cast<uintptr_t>(module);
    return RunSearch(&search, out);
}

bool ModuleImageFindByName(const std::string& name, ModuleImage* out) {
    Search search{};
    search.name = &name;
    return RunSearch(&search, out);
}

bool ModuleImageContaining(const void* address, ModuleImage* out) {
    Search search{};
    search.by_address = true;
    search.address = reinterpret_cast<uintptr_t>(address);
    return RunSearch(&search, out);
}

bool ElfFindSection(const std::string& path, const char* name, ElfSection* out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool found = FindSectionIn(fd, name, out);
    close(fd);
    return found;
}
