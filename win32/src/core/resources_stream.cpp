// Reading resource compilers' .res streams.
#include "resources_stream.h"

#include <cstdint>
#include <cstring>

#include "win32/resources.h"

namespace {

size_t AlignUp4(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

WORD ReadWord(const BYTE* at) {
    WORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

DWORD ReadDword(const BYTE* at) {
    DWORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

// Reads a type or name field at offset (of the record's header of header_size bytes): either
// 0xFFFF and a 16-bit integer, or a NUL-terminated UTF-16 string. Advances offset.
bool ReadId(const BYTE* header, size_t header_size, size_t* offset, ResourceId* out) {
    if (*offset + 2 > header_size) return false;
    if (ReadWord(header + *offset) == 0xFFFF) {
        if (*offset + 4 > header_size) return false;
        out->is_integer = true;
        out->integer = ReadWord(header + *offset + 2);
        out->text.clear();
        *offset += 4;
        return true;
    }
    out->is_integer = false;
    out->integer = 0;
    out->text.clear();
    for (;;) {
        if (*offset + 2 > header_size) return false;
        WORD unit = ReadWord(header + *offset);
        *offset += 2;
        if (unit == 0) return true;
        out->text.push_back(static_cast<char16_t>(unit));
    }
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

}  // namespace

bool ResourceRecordRead(const BYTE* stream, size_t size, const BYTE* header, ResourceRecord* out) {
    if (header < stream) return false;
    size_t start = static_cast<size_t>(header - stream);
    if (start > size || size - start < 8 || start % 4 != 0) return false;
    DWORD data_size = ReadDword(header);
    DWORD header_size = ReadDword(header + 4);
    size_t left = size - start;
    // The fixed fields after the type and name take 16 bytes.
    if (header_size < 8 + 4 + 4 + 16 || header_size > left || data_size > left - header_size)
        return false;
    size_t offset = 8;
    if (!ReadId(header, header_size, &offset, &out->type) ||
        !ReadId(header, header_size, &offset, &out->name))
        return false;
    offset = AlignUp4(offset);
    if (offset + 16 > header_size) return false;
    out->language = ReadWord(header + offset + 6);
    out->header = header;
    out->data = header + header_size;
    out->data_size = data_size;
    return true;
}

const BYTE* ResourceRecordNext(const BYTE* stream, size_t size, const ResourceRecord& record) {
    size_t end = static_cast<size_t>(record.data - stream) + record.data_size;
    size_t next = AlignUp4(end);
    if (next >= size) return nullptr;
    return stream + next;
}

bool ResourceIdMatches(const ResourceId& id, LPCWSTR wanted) {
    if (IS_INTRESOURCE(wanted)) {
        return id.is_integer &&
               id.integer == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(wanted));
    }
    if (wanted[0] == u'#') {
        unsigned value = 0;
        const char16_t* digit = wanted + 1;
        if (*digit == u'\0') return false;
        for (; *digit != u'\0'; ++digit) {
            if (*digit < u'0' || *digit > u'9') return false;
            value = value * 10 + static_cast<unsigned>(*digit - u'0');
            if (value > 0xFFFF) return false;
        }
        return id.is_integer && id.integer == value;
    }
    if (id.is_integer) return false;
    size_t i = 0;
    for (; wanted[i] != u'\0'; ++i) {
        if (i >= id.text.size() || AsciiUpper(wanted[i]) != AsciiUpper(id.text[i])) return false;
    }
    return i == id.text.size();
}

const BYTE* ResourceStreamFind(const BYTE* stream, size_t size, LPCWSTR type, LPCWSTR name,
                               WORD language, DWORD* error) {
    bool type_seen = false;
    bool name_seen = false;
    const BYTE* first = nullptr;
    const BYTE* same_primary = nullptr;
    const BYTE* neutral = nullptr;
    const BYTE* at = size > 0 ? stream : nullptr;
    while (at != nullptr) {
        ResourceRecord record;
        if (!ResourceRecordRead(stream, size, at, &record)) break;
        at = ResourceRecordNext(stream, size, record);
        if (!ResourceIdMatches(record.type, type)) continue;
        type_seen = true;
        if (!ResourceIdMatches(record.name, name)) continue;
        name_seen = true;
        if (record.language == language) return record.header;
        if (first == nullptr) first = record.header;
        if (neutral == nullptr && PRIMARYLANGID(record.language) == LANG_NEUTRAL)
            neutral = record.header;
        if (same_primary == nullptr && PRIMARYLANGID(record.language) == PRIMARYLANGID(language))
            same_primary = record.header;
    }
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        if (neutral != nullptr) return neutral;
        if (first != nullptr) return first;
    } else if (same_primary != nullptr) {
        return same_primary;
    }
    *error = !type_seen   ? ERROR_RESOURCE_TYPE_NOT_FOUND
             : !name_seen ? ERROR_RESOURCE_NAME_NOT_FOUND
                          : ERROR_RESOURCE_LANG_NOT_FOUND;
    return nullptr;
}
