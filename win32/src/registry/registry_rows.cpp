// The statements over the registry database's rows (registry_rows.h). Names are bound as
// UTF-16 and compared by the columns' NOCASE collation; every statement is prepared, bound,
// stepped and finalised here.
#include "registry_rows.h"

#include <sqlite3.h>

namespace {

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

// Prepares a query whose first parameter is a key row and whose second is a name (when name is
// given) or a row offset, and steps it once: *found tells whether it gave a row.
LONG QueryFirstRow(sqlite3* db, const char* sql, int64_t id, const std::u16string* name,
                   int64_t offset, RegistryStatement* query, bool* found) {
    int rc = RegistryPrepare(db, sql, query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query->stmt, 1, id);
    if (name != nullptr) {
        BindName(query->stmt, 2, *name);
    } else {
        sqlite3_bind_int64(query->stmt, 2, offset);
    }
    rc = sqlite3_step(query->stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    *found = rc == SQLITE_ROW;
    return ERROR_SUCCESS;
}

// Runs a statement that writes, with a key row as its first parameter and a name as its second
// (when given).
LONG Execute(sqlite3* db, const char* sql, int64_t id, const std::u16string* name) {
    RegistryStatement statement;
    int rc = RegistryPrepare(db, sql, &statement);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
    sqlite3_bind_int64(statement.stmt, 1, id);
    if (name != nullptr) BindName(statement.stmt, 2, *name);
    rc = sqlite3_step(statement.stmt);
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, true);
    return ERROR_SUCCESS;
}

// Reads the value columns name, type, data of the query's current row.
void ReadValueRow(RegistryValueRow* row, int name_column) {
    sqlite3_stmt* stmt = row->statement.stmt;
    if (name_column >= 0) row->name = ColumnName(stmt, name_column);
    row->type = static_cast<DWORD>(sqlite3_column_int64(stmt, name_column + 1));
    row->data = sqlite3_column_blob(stmt, name_column + 2);
    row->size = static_cast<DWORD>(sqlite3_column_bytes(stmt, name_column + 2));
}

// Counts the rows of a query over one key's children and keeps the longest name (column 0)
// and, when asked, the largest size (column 1).
LONG CountRows(sqlite3* db, const char* sql, int64_t id, DWORD* count, DWORD* longest_name,
               DWORD* largest) {
    RegistryStatement query;
    int rc = RegistryPrepare(db, sql, &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, id);
    while ((rc = sqlite3_step(query.stmt)) == SQLITE_ROW) {
        ++*count;
        const auto length = static_cast<DWORD>(ColumnName(query.stmt, 0).size());
        if (length > *longest_name) *longest_name = length;
        if (largest != nullptr) {
            const auto size = static_cast<DWORD>(sqlite3_column_int64(query.stmt, 1));
            if (size > *largest) *largest = size;
        }
    }
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegistryRowKeyExists(sqlite3* db, int64_t id, bool* exists) {
    RegistryStatement query;
    int rc = RegistryPrepare(db, "SELECT 1 FROM keys WHERE id = ?1", &query);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, false);
    sqlite3_bind_int64(query.stmt, 1, id);
    rc = sqlite3_step(query.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, false);
    *exists = rc == SQLITE_ROW;
    return ERROR_SUCCESS;
}

LONG RegistryRowFindSubkey(sqlite3* db, int64_t parent, const std::u16string& name, int64_t* child,
                           bool* found) {
    RegistryStatement query;
    const LONG status = QueryFirstRow(db, "SELECT id FROM keys WHERE parent_id = ?1 AND name = ?2",
                                      parent, &name, 0, &query, found);
    if (status == ERROR_SUCCESS && *found) *child = sqlite3_column_int64(query.stmt, 0);
    return status;
}

LONG RegistryRowInsertSubkey(sqlite3* db, int64_t parent, const std::u16string& name,
                             int64_t* child) {
    const LONG status =
        Execute(db, "INSERT INTO keys (parent_id, name) VALUES (?1, ?2)", parent, &name);
    if (status == ERROR_SUCCESS) *child = sqlite3_last_insert_rowid(db);
    return status;
}

LONG RegistryRowDeleteTree(sqlite3* db, int64_t id) {
    // The values first, then the keys. Most keys deleted have no subkeys, and for those two
    // plain deletes do; the recursive query over the tree builds temporary tables, which costs
    // several times as much.
    static const char* const kKeyDeletes[] = {"DELETE FROM key_values WHERE key_id = ?1",
                                              "DELETE FROM keys WHERE id = ?1"};
    static const char* const kTreeDeletes[] = {
        "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL"
        " SELECT k.id FROM keys k JOIN tree ON k.parent_id = tree.id)"
        " DELETE FROM key_values WHERE key_id IN tree",
        "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL"
        " SELECT k.id FROM keys k JOIN tree ON k.parent_id = tree.id)"
        " DELETE FROM keys WHERE id IN tree"};
    bool has_subkeys = false;
    {
        RegistryStatement query;
        const LONG status =
            QueryFirstRow(db, "SELECT 1 FROM keys WHERE parent_id = ?1 LIMIT 1 OFFSET ?2", id,
                          nullptr, 0, &query, &has_subkeys);
        if (status != ERROR_SUCCESS) return status;
    }
    const auto& deletes = has_subkeys ? kTreeDeletes : kKeyDeletes;
    for (const char* erase : deletes) {
        const LONG status = Execute(db, erase, id, nullptr);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

LONG RegistryRowSubkeyAt(sqlite3* db, int64_t parent, DWORD index, std::u16string* name,
                         bool* found) {
    RegistryStatement query;
    const LONG status = QueryFirstRow(db,
                                      "SELECT name FROM keys WHERE parent_id = ?1"
                                      " ORDER BY name, id LIMIT 1 OFFSET ?2",
                                      parent, nullptr, index, &query, found);
    if (status == ERROR_SUCCESS && *found) *name = ColumnName(query.stmt, 0);
    return status;
}

LONG RegistryRowFindValue(sqlite3* db, int64_t id, const std::u16string& name,
                          RegistryValueRow* row, bool* found) {
    const LONG status =
        QueryFirstRow(db, "SELECT type, data FROM key_values WHERE key_id = ?1 AND name = ?2", id,
                      &name, 0, &row->statement, found);
    if (status == ERROR_SUCCESS && *found) {
        row->name = name;
        ReadValueRow(row, -1);
    }
    return status;
}

LONG RegistryRowValueAt(sqlite3* db, int64_t id, DWORD index, RegistryValueRow* row, bool* found) {
    // Values come in the order they were first set, as Windows lists them.
    const LONG status = QueryFirstRow(db,
                                      "SELECT name, type, data FROM key_values WHERE key_id = ?1"
                                      " ORDER BY rowid LIMIT 1 OFFSET ?2",
                                      id, nullptr, index, &row->statement, found);
    if (status == ERROR_SUCCESS && *found) ReadValueRow(row, 0);
    return status;
}

LONG RegistryRowSetValue(sqlite3* db, int64_t id, const std::u16string& name, DWORD type,
                         const BYTE* data, DWORD size) {
    RegistryStatement upsert;
    int rc = RegistryPrepare(db,
                             "INSERT INTO key_values (key_id, name, type, data)"
                             " VALUES (?1, ?2, ?3, ?4) ON CONFLICT (key_id, name)"
                             " DO UPDATE SET type = excluded.type, data = excluded.data",
                             &upsert);
    if (rc != SQLITE_OK) return RegistryStatusFromSqlite(db, rc, true);
    sqlite3_bind_int64(upsert.stmt, 1, id);
    BindName(upsert.stmt, 2, name);
    sqlite3_bind_int64(upsert.stmt, 3, type);
    if (size == 0) {
        sqlite3_bind_zeroblob(upsert.stmt, 4, 0);  // an empty BLOB, not NULL
    } else {
        sqlite3_bind_blob(upsert.stmt, 4, data, static_cast<int>(size), SQLITE_STATIC);
    }
    rc = sqlite3_step(upsert.stmt);
    if (rc != SQLITE_DONE) return RegistryStatusFromSqlite(db, rc, true);
    return ERROR_SUCCESS;
}

LONG RegistryRowDeleteValue(sqlite3* db, int64_t id, const std::u16string& name, bool* deleted) {
    const LONG status =
        Execute(db, "DELETE FROM key_values WHERE key_id = ?1 AND name = ?2", id, &name);
    if (status == ERROR_SUCCESS) *deleted = sqlite3_changes(db) != 0;
    return status;
}

LONG RegistryRowCount(sqlite3* db, int64_t id, RegistryKeyCounts* counts) {
    const LONG status = CountRows(db, "SELECT name FROM keys WHERE parent_id = ?1", id,
                                  &counts->subkeys, &counts->longest_subkey_name, nullptr);
    if (status != ERROR_SUCCESS) return status;
    return CountRows(db, "SELECT name, length(data) FROM key_values WHERE key_id = ?1", id,
                     &counts->values, &counts->longest_value_name, &counts->largest_value);
}
