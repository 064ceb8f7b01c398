// The registry calls: keys as handles of the handle table, names and values in the registry
// database (registry_database.cpp, which also documents the tables), reached through its rows
// (registry_rows.h). This file holds the Win32 rules; the SQL is in registry_rows.cpp.
//
// Behaviour kept from Windows: statuses are the Win32 error codes; a missing key or value is
// ERROR_FILE_NOT_FOUND; a buffer too small for a value is ERROR_MORE_DATA with the needed size
// in *data_size and nothing written to the buffer; RegDeleteKeyW deletes the key with all its
// subkeys and their values, as the device's registry does (desktop Windows refuses a key that has
// subkeys); a handle whose key was deleted meanwhile gives ERROR_KEY_DELETED; a
// handle's access mask limits what it may do (query, set, create subkeys, enumerate); closing a
// predefined root succeeds and does nothing.
//
// Differences: only REG_OPTION_NON_VOLATILE keys exist (a volatile one is refused with
// ERROR_INVALID_PARAMETER); keys have no class and no last-write time (both read back empty and
// zero); after Win32LayerSetRegistryPath, handles opened on the previous database are invalid.
#include "win32/registry.h"
#include "fault_plan.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "handle_table.h"
#include "registry_database.h"
#include "registry_rows.h"

namespace {

// Longest key name component and value name, in UTF-16 code units, as on Windows.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct RegistryKeyObject {
    int64_t id;
    REGSAM access;
    uint64_t generation;
};

struct ResolvedKey {
    int64_t id = 0;
    REGSAM access = 0;
};

bool RootOf(HKEY key, RegistryRoot* root) {
    if (key == HKEY_CURRENT_USER) {
        *root = RegistryRoot::CurrentUser;
        return true;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        *root = RegistryRoot::LocalMachine;
        return true;
    }
    return false;
}

size_t TextLength(LPCWSTR text) {
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != u'\0') ++length;
    }
    return length;
}

// Splits a subkey path at backslashes. An empty path yields no components; an empty component
// (leading or doubled backslash) is ERROR_BAD_PATHNAME; one trailing backslash is allowed.
LONG SplitKeyPath(LPCWSTR path, std::vector<std::u16string>* components) {
    components->clear();
    const size_t length = TextLength(path);
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && path[end] != u'\\') ++end;
        if (end == start) return ERROR_BAD_PATHNAME;
        if (end - start > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        components->emplace_back(path + start, end - start);
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

LONG ValueName(LPCWSTR name, std::u16string* out) {
    const size_t length = TextLength(name);
    if (length > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    out->assign(name != nullptr ? name : u"", length);
    return ERROR_SUCCESS;
}

// The database row and access of a key handle, inside the caller's transaction.
LONG ResolveKey(const RegistrySession& session, HKEY key, ResolvedKey* resolved) {
    RegistryRoot root;
    if (RootOf(key, &root)) {
        resolved->id = session.root_ids[static_cast<int>(root)];
        resolved->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    const auto* object =
        static_cast<const RegistryKeyObject*>(HandleLookup(key, HandleKind::RegistryKey));
    if (object == nullptr || object->generation != session.generation) {
        return ERROR_INVALID_HANDLE;
    }
    bool exists = false;
    const LONG status = RegistryRowKeyExists(session.db, object->id, &exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_KEY_DELETED;
    resolved->id = object->id;
    resolved->access = object->access;
    return ERROR_SUCCESS;
}

// Walks a subkey path below start: the key it names, or ERROR_FILE_NOT_FOUND.
LONG WalkPath(sqlite3* db, int64_t start, const std::vector<std::u16string>& components,
              int64_t* id) {
    int64_t current = start;
    for (const std::u16string& component : components) {
        bool found = false;
        const LONG status = RegistryRowFindSubkey(db, current, component, &current, &found);
        if (status != ERROR_SUCCESS) return status;
        if (!found) return ERROR_FILE_NOT_FOUND;
    }
    *id = current;
    return ERROR_SUCCESS;
}

LONG NewKeyHandle(const RegistrySession& session, int64_t id, REGSAM access, HKEY* result) {
    auto* object = new (std::nothrow) RegistryKeyObject{id, access, session.generation};
    if (object == nullptr) return ERROR_OUTOFMEMORY;
    HANDLE handle = HandleCreate(HandleKind::RegistryKey, object);
    if (handle == nullptr) {
        delete object;
        return ERROR_OUTOFMEMORY;
    }
    *result = static_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

// Hands a value to the caller as RegQueryValueExW and RegEnumValueW do: the type always, then
// either the size alone (no buffer), the bytes, or ERROR_MORE_DATA with the needed size and the
// buffer untouched.
LONG DeliverValue(const RegistryValueRow& value, LPDWORD type, LPBYTE data, LPDWORD data_size) {
    if (type != nullptr) *type = value.type;
    if (data_size == nullptr) return ERROR_SUCCESS;
    if (data != nullptr) {
        if (*data_size < value.size) {
            *data_size = value.size;
            return ERROR_MORE_DATA;
        }
        if (value.size > 0) std::memcpy(data, value.data, value.size);
    }
    *data_size = value.size;
    return ERROR_SUCCESS;
}

// Copies a name with its terminator into a buffer of *length code units; on success *length is
// the name's length without the terminator.
LONG DeliverName(const std::u16string& name, LPWSTR buffer, LPDWORD length) {
    if (buffer == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
    if (*length <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Begins a call: session, transaction and the key it works on, and for the calls on a subkey
// path the path's components, for those on a value the value's name.
struct Call {
    RegistrySession session;
    RegistryTransaction transaction;
    ResolvedKey key;
    std::vector<std::u16string> path;
    std::u16string value_name;
    ~Call() { RegistryTransactionEnd(&transaction); }
};

LONG CallBegin(Call* call, HKEY key, bool write, REGSAM needed) {
    RegistrySessionBegin(&call->session);
    if (call->session.status != ERROR_SUCCESS) return call->session.status;
    LONG status = RegistryTransactionBegin(&call->transaction, call->session.db, write);
    if (status != ERROR_SUCCESS) return status;
    status = ResolveKey(call->session, key, &call->key);
    if (status != ERROR_SUCCESS) return status;
    if ((call->key.access & needed) != needed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Begins a call on a subkey path below key, as RegOpenKeyExW, RegCreateKeyExW and RegDeleteKeyW
// do: the path is split into call->path first, so that a bad path is refused before the
// registry is touched, then the call begins with no access asked of key itself. With `target`
// the path is walked to the key it names; RegCreateKeyExW walks it itself, making what is
// missing.
LONG CallBeginOnPath(Call* call, HKEY key, LPCWSTR sub_key, bool write, int64_t* target) {
    LONG status = SplitKeyPath(sub_key, &call->path);
    if (status != ERROR_SUCCESS) return status;
    status = CallBegin(call, key, write, 0);
    if (status != ERROR_SUCCESS || target == nullptr) return status;
    return WalkPath(call->session.db, call->key.id, call->path, target);
}

// Begins a call on a value of key, as RegQueryValueExW, RegSetValueExW and RegDeleteValueW do:
// the name is checked into call->value_name first, so that a name too long is refused before
// the registry is touched, then the call begins, asking `needed` of key.
LONG CallBeginOnValue(Call* call, HKEY key, LPCWSTR value_name, bool write, REGSAM needed) {
    const LONG status = ValueName(value_name, &call->value_name);
    if (status != ERROR_SUCCESS) return status;
    return CallBegin(call, key, write, needed);
}

LONG CallCommit(Call* call) {
    return RegistryTransactionCommit(&call->transaction);
}

}  // namespace

extern "C" {

WIN32LAYER_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD /*options*/,
                                            REGSAM sam, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_REG_OPEN_KEY)) {
        return static_cast<LSTATUS>(FaultPointError(WIN32LAYER_FAULT_REG_OPEN_KEY));
    }
    Call call;
    int64_t id = 0;
    LONG status = CallBeginOnPath(&call, key, sub_key, false, &id);
    if (status != ERROR_SUCCESS) return status;
    status = CallCommit(&call);
    if (status != ERROR_SUCCESS) return status;
    return NewKeyHandle(call.session, id, sam, result);
}

WIN32LAYER_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD /*reserved*/,
                                              LPWSTR /*key_class*/, DWORD options, REGSAM sam,
                                              LPSECURITY_ATTRIBUTES /*security*/, PHKEY result,
                                              LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
    if (FaultPlanFails(WIN32LAYER_FAULT_REG_CREATE_KEY)) {
        return static_cast<LSTATUS>(FaultPointError(WIN32LAYER_FAULT_REG_CREATE_KEY));
    }
    Call call;
    LONG status = CallBeginOnPath(&call, key, sub_key, true, nullptr);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    int64_t current = call.key.id;
    bool created = false;
    for (const std::u16string& component : call.path) {
        bool found = false;
        status = RegistryRowFindSubkey(db, current, component, &current, &found);
        if (status != ERROR_SUCCESS) return status;
        if (!found) {
            if (!created && (call.key.access & KEY_CREATE_SUB_KEY) == 0) {
                return ERROR_ACCESS_DENIED;
            }
            status = RegistryRowInsertSubkey(db, current, component, &current);
            if (status != ERROR_SUCCESS) return status;
            created = true;
        }
    }
    status = CallCommit(&call);
    if (status != ERROR_SUCCESS) return status;
    status = NewKeyHandle(call.session, current, sam, result);
    if (status != ERROR_SUCCESS) return status;
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

WIN32LAYER_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD /*reserved*/,
                                               LPDWORD type, LPBYTE data, LPDWORD data_size) {
    if (data != nullptr && data_size == nullptr) return ERROR_INVALID_PARAMETER;
    if (FaultPlanFails(WIN32LAYER_FAULT_REG_QUERY_VALUE)) {
        return static_cast<LSTATUS>(FaultPointError(WIN32LAYER_FAULT_REG_QUERY_VALUE));
    }
    Call call;
    LONG status = CallBeginOnValue(&call, key, value_name, false, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS) return status;
    RegistryValueRow value;
    bool found = false;
    status = RegistryRowFindValue(call.session.db, call.key.id, call.value_name, &value, &found);
    if (status != ERROR_SUCCESS) return status;
    if (!found) return ERROR_FILE_NOT_FOUND;
    return DeliverValue(value, type, data, data_size);
}

WIN32LAYER_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD /*reserved*/,
                                             DWORD type, const BYTE* data, DWORD data_size) {
    if (data == nullptr && data_size != 0) return ERROR_INVALID_PARAMETER;
    if (data_size > 0x7fffffffUL) return ERROR_NOT_ENOUGH_MEMORY;  // more than SQLite holds
    if (FaultPlanFails(WIN32LAYER_FAULT_REG_SET_VALUE)) {
        return static_cast<LSTATUS>(FaultPointError(WIN32LAYER_FAULT_REG_SET_VALUE));
    }
    Call call;
    LONG status = CallBeginOnValue(&call, key, value_name, true, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    status =
        RegistryRowSetValue(call.session.db, call.key.id, call.value_name, type, data, data_size);
    if (status != ERROR_SUCCESS) return status;
    return CallCommit(&call);
}

WIN32LAYER_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
    if (sub_key == nullptr) return ERROR_INVALID_PARAMETER;
    if (FaultPlanFails(WIN32LAYER_FAULT_REG_DELETE_KEY)) {
        return static_cast<LSTATUS>(FaultPointError(WIN32LAYER_FAULT_REG_DELETE_KEY));
    }
    Call call;
    int64_t target = 0;
    LONG status = CallBeginOnPath(&call, key, sub_key, true, &target);
    if (status != ERROR_SUCCESS) return status;
    for (int64_t root_id : call.session.root_ids) {
        if (target == root_id) return ERROR_ACCESS_DENIED;
    }
    // The key with all its subkeys and their values, as the device's registry deletes it.
    status = RegistryRowDeleteTree(call.session.db, target);
    if (status != ERROR_SUCCESS) return status;
    return CallCommit(&call);
}

WIN32LAYER_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name) {
    Call call;
    LONG status = CallBeginOnValue(&call, key, value_name, true, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    bool deleted = false;
    status = RegistryRowDeleteValue(call.session.db, call.key.id, call.value_name, &deleted);
    if (status != ERROR_SUCCESS) return status;
    if (!deleted) return ERROR_FILE_NOT_FOUND;
    return CallCommit(&call);
}

WIN32LAYER_API LSTATUS WINAPI RegCloseKey(HKEY key) {
    RegistryRoot root;
    if (RootOf(key, &root)) return ERROR_SUCCESS;
    // The lock keeps a close from racing a call that is using the same handle's object.
    RegistrySession session;
    RegistrySessionBegin(&session);
    auto* object = static_cast<RegistryKeyObject*>(HandleRelease(key, HandleKind::RegistryKey));
    if (object == nullptr) return ERROR_INVALID_HANDLE;
    delete object;
    // With no key open the program is done with the registry for now: the database file is
    // brought up to date, so that it can be copied or read alone.
    if (session.db != nullptr && HandleLiveCount(HandleKind::RegistryKey) == 0)
        RegistryCheckpoint(session.db);
    return ERROR_SUCCESS;
}

WIN32LAYER_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length,
                                            LPDWORD /*reserved*/, LPWSTR key_class,
                                            LPDWORD class_length, PFILETIME last_write_time) {
    if (name == nullptr || name_length == nullptr) return ERROR_INVALID_PARAMETER;
    Call call;
    LONG status = CallBegin(&call, key, false, KEY_ENUMERATE_SUB_KEYS);
    if (status != ERROR_SUCCESS) return status;
    std::u16string subkey;
    bool found = false;
    status = RegistryRowSubkeyAt(call.session.db, call.key.id, index, &subkey, &found);
    if (status != ERROR_SUCCESS) return status;
    if (!found) return ERROR_NO_MORE_ITEMS;
    status = DeliverName(subkey, name, name_length);
    if (status != ERROR_SUCCESS) return status;
    if (key_class != nullptr && class_length != nullptr && *class_length > 0) {
        key_class[0] = u'\0';
    }
    if (class_length != nullptr) *class_length = 0;
    if (last_write_time != nullptr) *last_write_time = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

WIN32LAYER_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length,
                                            LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                                            LPDWORD data_size) {
    if (name == nullptr || name_length == nullptr) return ERROR_INVALID_PARAMETER;
    if (data != nullptr && data_size == nullptr) return ERROR_INVALID_PARAMETER;
    Call call;
    LONG status = CallBegin(&call, key, false, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS) return status;
    RegistryValueRow value;
    bool found = false;
    status = RegistryRowValueAt(call.session.db, call.key.id, index, &value, &found);
    if (status != ERROR_SUCCESS) return status;
    if (!found) return ERROR_NO_MORE_ITEMS;
    status = DeliverName(value.name, name, name_length);
    if (status != ERROR_SUCCESS) return status;
    return DeliverValue(value, type, data, data_size);
}

WIN32LAYER_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR key_class, LPDWORD class_length,
                                               LPDWORD /*reserved*/, LPDWORD sub_keys,
                                               LPDWORD max_sub_key_length, LPDWORD max_class_length,
                                               LPDWORD values, LPDWORD max_value_name_length,
                                               LPDWORD max_value_length,
                                               LPDWORD security_descriptor_size,
                                               PFILETIME last_write_time) {
    Call call;
    LONG status = CallBegin(&call, key, false, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS) return status;
    RegistryKeyCounts counts;
    status = RegistryRowCount(call.session.db, call.key.id, &counts);
    if (status != ERROR_SUCCESS) return status;
    if (key_class != nullptr && class_length != nullptr && *class_length > 0) {
        key_class[0] = u'\0';
    }
    if (class_length != nullptr) *class_length = 0;
    if (sub_keys != nullptr) *sub_keys = counts.subkeys;
    if (max_sub_key_length != nullptr) *max_sub_key_length = counts.longest_subkey_name;
    if (max_class_length != nullptr) *max_class_length = 0;
    if (values != nullptr) *values = counts.values;
    if (max_value_name_length != nullptr) *max_value_name_length = counts.longest_value_name;
    if (max_value_length != nullptr) *max_value_length = counts.largest_value;
    if (security_descriptor_size != nullptr) *security_descriptor_size = 0;
    if (last_write_time != nullptr) *last_write_time = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

}  // extern "C"
