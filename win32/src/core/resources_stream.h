// The compiled resource stream (.res) that resource compilers write: a sequence of records,
// each a RESOURCEHEADER (data size, header size, type, name, data version, memory flags,
// language, version, characteristics) followed by the resource's bytes, every record starting
// on a 4-byte boundary. The first record of a stream is an empty one that marks the format.
#pragma once

#include <cstddef>
#include <string>

#include "win32/base.h"

// A resource type or name: an integer, or a string.
struct ResourceId {
    bool is_integer;
    WORD integer;
    std::u16string text;
};

struct ResourceRecord {
    ResourceId type;
    ResourceId name;
    WORD language;
    const BYTE* header;  // start of the record
    const BYTE* data;
    DWORD data_size;
};

// Reads the record that starts at header, which lies inside [stream, stream + size). False when
// the record is damaged or does not fit.
bool ResourceRecordRead(const BYTE* stream, size_t size, const BYTE* header, ResourceRecord* out);
// The record after this one; null at the end of the stream.
const BYTE* ResourceRecordNext(const BYTE* stream, size_t size, const ResourceRecord& record);

// True when id is what wanted names: an integer from MAKEINTRESOURCEW, or a string compared
// without regard to ASCII letter case, where "#n" stands for the integer n.
bool ResourceIdMatches(const ResourceId& id, LPCWSTR wanted);

// The record of this type and name in the stream. language 0 (neutral) prefers a neutral
// record and otherwise takes the first; another language wants that language exactly or else
// one of the same primary language. Null with the Windows error code in *error otherwise.
const BYTE* ResourceStreamFind(const BYTE* stream, size_t size, LPCWSTR type, LPCWSTR name,
                               WORD language, DWORD* error);
