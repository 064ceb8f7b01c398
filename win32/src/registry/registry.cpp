// The registry calls: keys as handles of the handle table, names and values in the registry
// database (registry_database.cpp, which also documents the tables).
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

#include <sqlite3.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "handle_table.h"
#include "registry_database.h"

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

void BindName(sqlite3_stmt* stmt, int index, const std::u16string& name) {
    sqlite3_bind_text16(stmt, index, name.data(), static_cast<int>(name.size() * sizeof(char16_t)),
                        SQLITE_TRANSIENT);
}

std::u16string ColumnName(sqlite3_stmt* stmt, int column) {
    const void* text = sqlite3_column_text16(stmt, column);
    const int bytes = sqlite3_column_bytes16(stmt, column);
    if (text == nullptr || bytes <= 0) return std::u16string();
    return std::u16string(static_cast<const char16_t*>(text),
                          static_cast<size_t>(bytes) / sizeof(char16_t));
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

// Whether a key row exists; status on a database failure.
LONG KeyExists(sqlite3* db, int64_t id, bool* exists) {
    RegistryStatement query;
    int rc = RegistryPrepare(db, "SELECT 1 FROM keys WHERE id = ?1", &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, id);
    rc = sqlite3_step(query.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    *exists = rc == SQLITE_ROW;
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
    const LONG status = KeyExists(session.db, object->id, &exists);
    if (status != ERROR_SUCCESS) return status;
    if (!exists) return ERROR_KEY_DELETED;
    resolved->id = object->id;
    resolved->access = object->access;
    return ERROR_SUCCESS;
}

// The child of parent with this name: *found false when there is none.
LONG FindSubkey(sqlite3* db, int64_t parent, const std::u16string& name, int64_t* child,
                bool* found) {
    RegistryStatement query;
    int rc = RegistryPrepare(db, "SELECT id FROM keys WHERE parent_id = ?1 AND name = ?2", &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, parent);
    BindName(query.stmt, 2, name);
    rc = sqlite3_step(query.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    *found = rc == SQLITE_ROW;
    if (*found) *child = sqlite3_column_int64(query.stmt, 0);
    return ERROR_SUCCESS;
}

LONG InsertSubkey(sqlite3* db, int64_t parent, const std::u16string& name, int64_t* child) {
    RegistryStatement insert;
    int rc = RegistryPrepare(db, "INSERT INTO keys (parent_id, name) VALUES (?1, ?2)", &insert);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
    sqlite3_bind_int64(insert.stmt, 1, parent);
    BindName(insert.stmt, 2, name);
    rc = sqlite3_step(insert.stmt);
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, true);
    *child = sqlite3_last_insert_rowid(db);
    return ERROR_SUCCESS;
}

// Walks a subkey path below start: the key it names, or ERROR_FILE_NOT_FOUND.
LONG WalkPath(sqlite3* db, int64_t start, const std::vector<std::u16string>& components,
              int64_t* id) {
    int64_t current = start;
    for (const std::u16string& component : components) {
        bool found = false;
        const LONG status = FindSubkey(db, current, component, &current, &found);
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

// One value row: its type and bytes.
struct StoredValue {
    DWORD type = REG_NONE;
    const void* data = nullptr;
    DWORD size = 0;
};

void ReadValueColumns(sqlite3_stmt* stmt, int type_column, int data_column, StoredValue* value) {
    value->type = static_cast<DWORD>(sqlite3_column_int64(stmt, type_column));
    value->data = sqlite3_column_blob(stmt, data_column);
    value->size = static_cast<DWORD>(sqlite3_column_bytes(stmt, data_column));
}

// Hands a value to the caller as RegQueryValueExW and RegEnumValueW do: the type always, then
// either the size alone (no buffer), the bytes, or ERROR_MORE_DATA with the needed size and the
// buffer untouched.
LONG DeliverValue(const StoredValue& value, LPDWORD type, LPBYTE data, LPDWORD data_size) {
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

// Begins a call: session, transaction and the key it works on.
struct Call {
    RegistrySession session;
    RegistryTransaction transaction;
    ResolvedKey key;
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

LONG CallCommit(Call* call) {
    return RegistryTransactionCommit(&call->transaction);
}

}  // namespace

extern "C" {

WIN32LAYER_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD /*options*/,
                                            REGSAM sam, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::u16string> components;
    LONG status = SplitKeyPath(sub_key, &components);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, false, 0);
    if (status != ERROR_SUCCESS) return status;
    int64_t id = 0;
    status = WalkPath(call.session.db, call.key.id, components, &id);
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
    std::vector<std::u16string> components;
    LONG status = SplitKeyPath(sub_key, &components);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, true, 0);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    int64_t current = call.key.id;
    bool created = false;
    for (const std::u16string& component : components) {
        bool found = false;
        status = FindSubkey(db, current, component, &current, &found);
        if (status != ERROR_SUCCESS) return status;
        if (!found) {
            if (!created && (call.key.access & KEY_CREATE_SUB_KEY) == 0) {
                return ERROR_ACCESS_DENIED;
            }
            status = InsertSubkey(db, current, component, &current);
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
    std::u16string name;
    LONG status = ValueName(value_name, &name);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, false, KEY_QUERY_VALUE);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    RegistryStatement query;
    int rc = RegistryPrepare(
        db, "SELECT type, data FROM key_values WHERE key_id = ?1 AND name = ?2", &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, call.key.id);
    BindName(query.stmt, 2, name);
    rc = sqlite3_step(query.stmt);
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return RegistryStatusFromSqlite(db, rc, false);
    StoredValue value;
    ReadValueColumns(query.stmt, 0, 1, &value);
    return DeliverValue(value, type, data, data_size);
}

WIN32LAYER_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD /*reserved*/,
                                             DWORD type, const BYTE* data, DWORD data_size) {
    if (data == nullptr && data_size != 0) return ERROR_INVALID_PARAMETER;
    if (data_size > 0x7fffffffUL) return ERROR_NOT_ENOUGH_MEMORY;  // more than SQLite holds
    std::u16string name;
    LONG status = ValueName(value_name, &name);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, true, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    RegistryStatement upsert;
    // An existing value keeps its row (and so its place in the enumeration) and its name's case.
    int rc = RegistryPrepare(db,
                             "INSERT INTO key_values (key_id, name, type, data)"
                             " VALUES (?1, ?2, ?3, ?4) ON CONFLICT (key_id, name)"
                             " DO UPDATE SET type = excluded.type, data = excluded.data",
                             &upsert);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
    sqlite3_bind_int64(upsert.stmt, 1, call.key.id);
    BindName(upsert.stmt, 2, name);
    sqlite3_bind_int64(upsert.stmt, 3, type);
    if (data_size == 0) {
        sqlite3_bind_zeroblob(upsert.stmt, 4, 0);  // an empty BLOB, not NULL
    } else {
        sqlite3_bind_blob(upsert.stmt, 4, data, static_cast<int>(data_size), SQLITE_STATIC);
    }
    rc = sqlite3_step(upsert.stmt);
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, true);
    return CallCommit(&call);
}

WIN32LAYER_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
    if (sub_key == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> components;
    LONG status = SplitKeyPath(sub_key, &components);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, true, 0);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    int64_t target = 0;
    status = WalkPath(db, call.key.id, components, &target);
    if (status != ERROR_SUCCESS) return status;
    for (int64_t root_id : call.session.root_ids) {
        if (target == root_id) return ERROR_ACCESS_DENIED;
    }
    // The key and every key below it: their values first, then the keys themselves.
    const std::string tree =
        "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL"
        " SELECT k.id FROM keys k JOIN tree ON k.parent_id = tree.id) ";
    for (const char* erase_tree :
         {"DELETE FROM key_values WHERE key_id IN tree", "DELETE FROM keys WHERE id IN tree"}) {
        const std::string sql = tree + erase_tree;
        RegistryStatement erase;
        const int rc = RegistryPrepare(db, sql.c_str(), &erase);
        if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
        sqlite3_bind_int64(erase.stmt, 1, target);
        const int step = sqlite3_step(erase.stmt);
        if (step != SQLITE_DONE) return RegistryStatusFromSqlite(db, step, true);
    }
    return CallCommit(&call);
}

WIN32LAYER_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name) {
    std::u16string name;
    LONG status = ValueName(value_name, &name);
    if (status != ERROR_SUCCESS) return status;
    Call call;
    status = CallBegin(&call, key, true, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    RegistryStatement erase;
    int rc = RegistryPrepare(db, "DELETE FROM key_values WHERE key_id = ?1 AND name = ?2", &erase);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
    sqlite3_bind_int64(erase.stmt, 1, call.key.id);
    BindName(erase.stmt, 2, name);
    rc = sqlite3_step(erase.stmt);
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, true);
    if (sqlite3_changes(db) == 0) return ERROR_FILE_NOT_FOUND;
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
    return ERROR_SUCCESS;
}

WIN32LAYER_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length,
                                            LPDWORD /*reserved*/, LPWSTR key_class,
                                            LPDWORD class_length, PFILETIME last_write_time) {
    if (name == nullptr || name_length == nullptr) return ERROR_INVALID_PARAMETER;
    Call call;
    LONG status = CallBegin(&call, key, false, KEY_ENUMERATE_SUB_KEYS);
    if (status != ERROR_SUCCESS) return status;
    sqlite3* db = call.session.db;
    RegistryStatement query;
    int rc = RegistryPrepare(db,
                             "SELECT name FROM keys WHERE parent_id = ?1"
                             " ORDER BY name, id LIMIT 1 OFFSET ?2",
                             &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, call.key.id);
    sqlite3_bind_int64(query.stmt, 2, index);
    rc = sqlite3_step(query.stmt);
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return RegistryStatusFromSqlite(db, rc, false);
    status = DeliverName(ColumnName(query.stmt, 0), name, name_length);
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
    sqlite3* db = call.session.db;
    RegistryStatement query;
    // Values come in the order they were first set, as Windows lists them.
    int rc = RegistryPrepare(db,
                             "SELECT name, type, data FROM key_values WHERE key_id = ?1"
                             " ORDER BY rowid LIMIT 1 OFFSET ?2",
                             &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, call.key.id);
    sqlite3_bind_int64(query.stmt, 2, index);
    rc = sqlite3_step(query.stmt);
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return RegistryStatusFromSqlite(db, rc, false);
    status = DeliverName(ColumnName(query.stmt, 0), name, name_length);
    if (status != ERROR_SUCCESS) return status;
    StoredValue value;
    ReadValueColumns(query.stmt, 1, 2, &value);
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
    sqlite3* db = call.session.db;
    DWORD key_count = 0;
    DWORD longest_key = 0;
    DWORD value_count = 0;
    DWORD longest_value_name = 0;
    DWORD largest_value = 0;
    RegistryStatement keys_query;
    int rc = RegistryPrepare(db, "SELECT name FROM keys WHERE parent_id = ?1", &keys_query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(keys_query.stmt, 1, call.key.id);
    while ((rc = sqlite3_step(keys_query.stmt)) == SQLITE_ROW) {
        ++key_count;
        const auto length = static_cast<DWORD>(ColumnName(keys_query.stmt, 0).size());
        if (length > longest_key) longest_key = length;
    }
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    RegistryStatement values_query;
    rc = RegistryPrepare(db, "SELECT name, length(data) FROM key_values WHERE key_id = ?1",
                         &values_query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(values_query.stmt, 1, call.key.id);
    while ((rc = sqlite3_step(values_query.stmt)) == SQLITE_ROW) {
        ++value_count;
        const auto length = static_cast<DWORD>(ColumnName(values_query.stmt, 0).size());
        if (length > longest_value_name) longest_value_name = length;
        const auto size = static_cast<DWORD>(sqlite3_column_int64(values_query.stmt, 1));
        if (size > largest_value) largest_value = size;
    }
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    if (key_class != nullptr && class_length != nullptr && *class_length > 0) {
        key_class[0] = u'\0';
    }
    if (class_length != nullptr) *class_length = 0;
    if (sub_keys != nullptr) *sub_keys = key_count;
    if (max_sub_key_length != nullptr) *max_sub_key_length = longest_key;
    if (max_class_length != nullptr) *max_class_length = 0;
    if (values != nullptr) *values = value_count;
    if (max_value_name_length != nullptr) *max_value_name_length = longest_value_name;
    if (max_value_length != nullptr) *max_value_length = largest_value;
    if (security_descriptor_size != nullptr) *security_descriptor_size = 0;
    if (last_write_time != nullptr) *last_write_time = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

}  // extern "C"
