// The rows of the registry database's tables (registry_database.cpp documents the schema): the
// statements that the registry calls run, each inside the caller's transaction. Every function
// returns ERROR_SUCCESS or the Win32 status of the database failure; the registry calls
// (registry.cpp) keep the Win32 rules and see no SQL.
#pragma once

#include <cstdint>
#include <string>

#include "registry_database.h"
#include "win32/registry.h"

// Whether the key row `id` exists.
LONG RegistryRowKeyExists(sqlite3* db, int64_t id, bool* exists);
// The child of `parent` with this name (compared ignoring ASCII case); *found false when none.
LONG RegistryRowFindSubkey(sqlite3* db, int64_t parent, const std::u16string& name, int64_t* child,
                           bool* found);
// A new child of `parent`.
LONG RegistryRowInsertSubkey(sqlite3* db, int64_t parent, const std::u16string& name,
                             int64_t* child);
// Deletes the key `id`, every key below it and all their values.
LONG RegistryRowDeleteTree(sqlite3* db, int64_t id);
// The name of `parent`'s child at `index` in the order of names; *found false past the last.
LONG RegistryRowSubkeyAt(sqlite3* db, int64_t parent, DWORD index, std::u16string* name,
                         bool* found);

// One value row: its name, type and bytes. The bytes stay valid while the row lives.
struct RegistryValueRow {
    RegistryStatement statement;
    std::u16string name;
    DWORD type = REG_NONE;
    const void* data = nullptr;
    DWORD size = 0;
};
// The value of key `id` with this name; *found false when there is none.
LONG RegistryRowFindValue(sqlite3* db, int64_t id, const std::u16string& name,
                          RegistryValueRow* row, bool* found);
// The value of key `id` at `index` in the order the values were first set; *found false past
// the last.
LONG RegistryRowValueAt(sqlite3* db, int64_t id, DWORD index, RegistryValueRow* row, bool* found);
// Sets a value: an existing one keeps its row (and so its place in the enumeration) and its
// name's letter case.
LONG RegistryRowSetValue(sqlite3* db, int64_t id, const std::u16string& name, DWORD type,
                         const BYTE* data, DWORD size);
// Deletes a value; *deleted false when there was none.
LONG RegistryRowDeleteValue(sqlite3* db, int64_t id, const std::u16string& name, bool* deleted);

// What RegQueryInfoKeyW reports of a key's subkeys and values.
struct RegistryKeyCounts {
    DWORD subkeys = 0;
    DWORD longest_subkey_name = 0;
    DWORD values = 0;
    DWORD longest_value_name = 0;
    DWORD largest_value = 0;
};
LONG RegistryRowCount(sqlite3* db, int64_t id, RegistryKeyCounts* counts);
