// The version resource: GetFileVersionInfo reads it from a library's file, VerQueryValue walks
// its tree. The tree is a VS_VERSIONINFO block of nodes, each: length in bytes (WORD), value
// length (WORD: bytes for binary values, characters for text), type (WORD: 0 binary, 1 text),
// a NUL-terminated UTF-16 key, padding to 4 bytes, the value, padding to 4 bytes, and the child
// nodes up to the node's length. Offsets are aligned relative to the start of the block.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

#include "modules_elf.h"
#include "resources_stream.h"
#include "utf16_path.h"
#include "win32/resources.h"

namespace {

// Version blocks are at most 64 KiB (their length is a WORD).
constexpr size_t kMaxVersionBlock = 0xFFFF;

// The bytes of the file's version resource; false when it has none.
bool ReadVersionResource(LPCWSTR path, std::vector<BYTE>* out) {
    std::string file;
    ElfSection section;
    if (path == nullptr || !WindowsPathToLinux(path, &file) ||
        !ElfFindSection(file, ".win32res", &section) || section.size > (1u << 26) ||
        section.offset > static_cast<uint64_t>(LLONG_MAX))
        return false;
    std::vector<BYTE> stream(static_cast<size_t>(section.size));
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t got = pread(fd, stream.data(), stream.size(), static_cast<off_t>(section.offset));
    close(fd);
    if (got < 0 || static_cast<size_t>(got) != stream.size()) return false;
    DWORD error = 0;
    const BYTE* header = ResourceStreamFind(stream.data(), stream.size(), RT_VERSION,
                                            MAKEINTRESOURCEW(VS_VERSION_INFO),
                                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &error);
    ResourceRecord record;
    if (header == nullptr || !ResourceRecordRead(stream.data(), stream.size(), header, &record) ||
        record.data_size < 6 || record.data_size > kMaxVersionBlock)
        return false;
    out->assign(record.data, record.data + record.data_size);
    return true;
}

WORD ReadWord(const BYTE* at) {
    WORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

size_t AlignUp4(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

struct VersionNode {
    size_t start;
    size_t end;  // start + length, within the block
    WORD value_length;
    WORD type;
    size_t key;  // offset of the key
    size_t value;
    size_t children;
};

// Reads the node at start, which must end by limit. Offsets are from the block's start.
bool ReadNode(const BYTE* block, size_t start, size_t limit, VersionNode* out) {
    if (start + 6 > limit) return false;
    size_t length = ReadWord(block + start);
    if (length < 6 || length > limit - start) return false;
    out->start = start;
    out->end = start + length;
    out->value_length = ReadWord(block + start + 2);
    out->type = ReadWord(block + start + 4);
    out->key = start + 6;
    size_t at = out->key;
    for (;;) {
        if (at + 2 > out->end) return false;
        if (ReadWord(block + at) == 0) break;
        at += 2;
    }
    out->value = AlignUp4(at + 2);
    size_t value_bytes = out->type == 1 ? size_t{out->value_length} * 2 : out->value_length;
    if (out->value > out->end || value_bytes > out->end - out->value) return false;
    out->children = AlignUp4(out->value + value_bytes);
    return true;
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

// Compares the node's key with the path component [begin, end) without regard to ASCII case.
bool KeyMatches(const BYTE* block, const VersionNode& node, const char16_t* begin,
                const char16_t* end) {
    size_t at = node.key;
    for (const char16_t* c = begin; c != end; ++c, at += 2) {
        WORD unit = ReadWord(block + at);
        if (unit == 0 || AsciiUpper(static_cast<char16_t>(unit)) != AsciiUpper(*c)) return false;
    }
    return ReadWord(block + at) == 0;
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
    if (handle != nullptr) *handle = 0;
    std::vector<BYTE> resource;
    if (!ReadVersionResource(path, &resource)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(resource.size());
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR path, DWORD, DWORD size, LPVOID data) {
    std::vector<BYTE> resource;
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadVersionResource(path, &resource)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    size_t copied = resource.size() < size ? resource.size() : size;
    memcpy(data, resource.data(), copied);
    // A buffer smaller than the block gets its first part; the root length is cut to match so
    // that VerQueryValueW never walks past what was copied.
    if (copied >= 2 && copied < resource.size()) {
        WORD length = static_cast<WORD>(copied & ~static_cast<size_t>(3));
        memcpy(data, &length, sizeof(length));
    }
    return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block_data, LPCWSTR sub_block, LPVOID* buffer, UINT* length) {
    const BYTE* block = static_cast<const BYTE*>(block_data);
    if (block == nullptr || sub_block == nullptr || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VersionNode node;
    if (!ReadNode(block, 0, ReadWord(block), &node)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    const char16_t* at = sub_block;
    for (;;) {
        while (*at == u'\\') ++at;
        if (*at == u'\0') break;
        const char16_t* end = at;
        while (*end != u'\0' && *end != u'\\') ++end;
        bool found = false;
        VersionNode child;
        for (size_t next = node.children; next + 6 <= node.end;) {
            if (!ReadNode(block, next, node.end, &child)) break;
            if (KeyMatches(block, child, at, end)) {
                found = true;
                break;
            }
            next = AlignUp4(child.end);
        }
        if (!found) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        node = child;
        at = end;
    }
    if (node.value_length == 0 && node.start == 0) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *buffer = const_cast<BYTE*>(block + node.value);
    if (length != nullptr) *length = node.value_length;
    return TRUE;
}

}  // extern "C"
