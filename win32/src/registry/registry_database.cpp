// The registry database of the Linux layer.
//
// Location: the file named by the environment variable WIN32LAYER_REGISTRY; otherwise
// $XDG_CONFIG_HOME/win32layer/registry.sqlite3, or ~/.config/win32layer/registry.sqlite3 when
// XDG_CONFIG_HOME is unset or not absolute. Win32LayerSetRegistryPath (win32/host_services.h)
// replaces it at run time. The folder is created when missing.
//
// Schema (user_version 1), readable with the sqlite3 command-line tool:
//
//   CREATE TABLE keys (
//       id        INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused, so a handle to a
//                                                     -- deleted key cannot reach a new one
//       parent_id INTEGER REFERENCES keys(id),        -- NULL for a root
//       name      TEXT NOT NULL COLLATE NOCASE,       -- as created; compared ignoring ASCII case
//       UNIQUE (parent_id, name));
//   CREATE TABLE key_values (
//       key_id INTEGER NOT NULL REFERENCES keys(id),
//       name   TEXT NOT NULL COLLATE NOCASE,          -- '' is the key's default value
//       type   INTEGER NOT NULL,                      -- REG_SZ 1, REG_BINARY 3, REG_DWORD 4 ...
//       data   BLOB NOT NULL,                         -- the bytes exactly as set
//       UNIQUE (key_id, name));
//   CREATE VIEW key_paths (id, path) -- every key's full path, "HKEY_CURRENT_USER\Software\..."
//
// The roots are the rows named HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE with a NULL parent.
// To look at what is stored:
//
//   sqlite3 registry.sqlite3 "SELECT p.path, v.name, v.type, hex(v.data)
//                             FROM key_values v JOIN key_paths p ON p.id = v.key_id"
//
// Text is stored as UTF-8 (UTF-16 at the API). The database runs in WAL mode with a busy
// timeout, so several processes can use it and their writes wait for each other; every call
// that writes is one transaction. The write-ahead log is only a working file: when a process
// closes its last key handle, and when it exits, the log is copied into the database file and
// emptied (the last connection to close deletes it), so that the file alone holds every key and
// value and a copy of it is a whole backup.
//
// A file that is not a SQLite database, fails the quick integrity check, or holds tables that
// are not this schema is refused: it is never written to, every registry call fails with
// ERROR_REGISTRY_CORRUPT (ERROR_CANTOPEN when it cannot be opened at all), and one line on
// stderr says why. A write-protected file is read; calls that would change it fail with
// ERROR_ACCESS_DENIED, and one line on stderr says so when it is opened.
#include "registry_database.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "registry_fault_vfs.h"
#include "win32/host_services.h"

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;
// How long a checkpoint waits for another process's reader or writer. Past that it gives up:
// that process is still working and empties the log itself when it is done.
constexpr int kCheckpointBusyTimeoutMs = 20;

constexpr const char* kRootNames[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
static_assert(sizeof(kRootNames) / sizeof(kRootNames[0]) ==
              static_cast<size_t>(RegistryRoot::Count));

constexpr const char* kCreateSchema =
    "CREATE TABLE keys ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent_id INTEGER REFERENCES keys(id),"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE (parent_id, name));"
    "CREATE TABLE key_values ("
    " key_id INTEGER NOT NULL REFERENCES keys(id),"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE (key_id, name));"
    "CREATE VIEW key_paths (id, path) AS"
    " WITH RECURSIVE p (id, path) AS ("
    "  SELECT id, name FROM keys WHERE parent_id IS NULL"
    "  UNION ALL"
    "  SELECT k.id, p.path || '\\' || k.name FROM keys k JOIN p ON k.parent_id = p.id)"
    " SELECT id, path FROM p;"
    "INSERT INTO keys (parent_id, name) VALUES (NULL, 'HKEY_CURRENT_USER');"
    "INSERT INTO keys (parent_id, name) VALUES (NULL, 'HKEY_LOCAL_MACHINE');"
    "PRAGMA user_version = 1;";

struct RegistryConnection {
    // At the process's exit the database is closed, which moves the log into the file.
    ~RegistryConnection();

    std::mutex mutex;
    bool path_set = false;  // by Win32LayerSetRegistryPath
    std::string path;       // the path set, when path_set
    bool tried = false;     // an open was attempted for the current path
    sqlite3* db = nullptr;
    LONG open_status = ERROR_SUCCESS;
    uint64_t generation = 0;
    int64_t root_ids[static_cast<int>(RegistryRoot::Count)] = {};
    bool corruption_reported = false;
    bool open_failure_reported = false;  // for the current path, until an open succeeds
    // Prepared statements of db not in use, by their SQL text: each registry call runs a few
    // statements of a fixed set, and parsing one again costs more than running it. A statement
    // taken by a RegistryStatement comes back, reset, when the holder leaves scope, so that one
    // text has as many statements as were ever in use at once. The key is the statement's own
    // copy of its text (sqlite3_sql). A few dozen at most: a search of a vector, which keeps its
    // storage, costs less than a hash table's node allocated and freed per statement.
    std::vector<std::pair<std::string_view, sqlite3_stmt*>> idle_statements;
};

RegistryConnection& Connection() {
    static RegistryConnection connection;
    return connection;
}

std::string DefaultRegistryPath() {
    const char* explicit_path = std::getenv("WIN32LAYER_REGISTRY");
    if (explicit_path != nullptr && explicit_path[0] != '\0') return explicit_path;
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : nullptr;
        }
        if (home == nullptr) return std::string();
        base = std::string(home) + "/.config";
    }
    return base + "/win32layer/registry.sqlite3";
}

// Once for a path: a database that cannot be opened is tried again by each call (see
// RegistrySessionBegin), and says so only the first time.
void ReportOpenFailure(const std::string& path, const char* why, LONG status) {
    RegistryConnection& connection = Connection();
    if (connection.open_failure_reported) return;
    connection.open_failure_reported = true;
    std::fprintf(stderr,
                 "win32layer: the registry database \"%s\" cannot be used (%s); registry calls "
                 "fail with error %ld and the file is left as it is\n",
                 path.c_str(), why, static_cast<long>(status));
}

bool ExecuteAll(sqlite3* db, const char* sql, int* rc) {
    *rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return *rc == SQLITE_OK;
}

LONG StatusForOpenError(int rc) {
    switch (rc & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
            return ERROR_REGISTRY_CORRUPT;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        default:
            return ERROR_CANTOPEN;
    }
}

// Runs the quick integrity check; true when the file reads as a sound database.
bool QuickCheck(sqlite3* db, int* rc) {
    RegistryStatement check;
    *rc = RegistryPrepare(db, "PRAGMA quick_check(1)", &check);
    if (*rc != SQLITE_OK) return false;
    *rc = sqlite3_step(check.stmt);
    if (*rc != SQLITE_ROW) return false;
    const unsigned char* verdict = sqlite3_column_text(check.stmt, 0);
    if (verdict == nullptr || std::string(reinterpret_cast<const char*>(verdict)) != "ok") {
        *rc = SQLITE_CORRUPT;
        return false;
    }
    *rc = SQLITE_OK;
    return true;
}

// Reads one integer of a single-row query; false on any failure.
bool QueryInteger(sqlite3* db, const char* sql, int64_t* value, int* rc) {
    RegistryStatement query;
    *rc = RegistryPrepare(db, sql, &query);
    if (*rc != SQLITE_OK) return false;
    *rc = sqlite3_step(query.stmt);
    if (*rc != SQLITE_ROW) return false;
    *value = sqlite3_column_int64(query.stmt, 0);
    *rc = SQLITE_OK;
    return true;
}

// Checks that an existing database carries this schema: the version mark, the columns that the
// registry calls use, and the two roots.
bool SchemaMatches(sqlite3* db, int64_t* root_ids) {
    RegistryStatement keys_probe;
    RegistryStatement values_probe;
    if (RegistryPrepare(db, "SELECT id, parent_id, name FROM keys LIMIT 0", &keys_probe) !=
            SQLITE_OK ||
        RegistryPrepare(db, "SELECT key_id, name, type, data FROM key_values LIMIT 0",
                        &values_probe) != SQLITE_OK) {
        return false;
    }
    for (int i = 0; i < static_cast<int>(RegistryRoot::Count); ++i) {
        RegistryStatement root;
        if (RegistryPrepare(db, "SELECT id FROM keys WHERE parent_id IS NULL AND name = ?1",
                            &root) != SQLITE_OK) {
            return false;
        }
        sqlite3_bind_text(root.stmt, 1, kRootNames[i], -1, SQLITE_STATIC);
        if (sqlite3_step(root.stmt) != SQLITE_ROW) return false;
        root_ids[i] = sqlite3_column_int64(root.stmt, 0);
    }
    return true;
}

// Opens the database at path and makes sure it holds the schema. On failure, db stays null and
// the returned status says why; a message has been written.
LONG OpenDatabase(const std::string& path, sqlite3** db_out, int64_t* root_ids) {
    *db_out = nullptr;
    if (path.empty()) {
        ReportOpenFailure(path, "no home folder to place it in", ERROR_CANTOPEN);
        return ERROR_CANTOPEN;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            const std::string why = "cannot create its folder: " + error.message();
            ReportOpenFailure(path, why.c_str(), ERROR_CANTOPEN);
            return ERROR_CANTOPEN;
        }
    }

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             RegistryFaultVfsName());
    LONG status = ERROR_SUCCESS;
    std::string why;
    int64_t version = 0;
    int64_t tables = 0;
    if (rc != SQLITE_OK) {
        status = StatusForOpenError(rc);
    } else {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        if (!QuickCheck(db, &rc) || !QueryInteger(db, "PRAGMA user_version", &version, &rc) ||
            !QueryInteger(db, "SELECT count(*) FROM sqlite_master", &tables, &rc)) {
            status = StatusForOpenError(rc);
        }
    }
    if (status == ERROR_SUCCESS && version == 0) {
        // Not yet marked as a registry: create the schema if the file is empty. The mark and
        // the tables are read again inside the write transaction, so that a process that
        // created the schema between the reads above is seen whole, never half.
        if (!ExecuteAll(db, "BEGIN IMMEDIATE", &rc) ||
            !QueryInteger(db, "PRAGMA user_version", &version, &rc) ||
            !QueryInteger(db, "SELECT count(*) FROM sqlite_master", &tables, &rc)) {
            status = StatusForOpenError(rc);
        } else if (version == 0 && tables == 0 && !ExecuteAll(db, kCreateSchema, &rc)) {
            status = StatusForOpenError(rc);
        } else if (!ExecuteAll(db, "COMMIT", &rc)) {
            status = StatusForOpenError(rc);
        } else if (version == 0 && tables == 0) {
            version = kSchemaVersion;
        }
        if (status != ERROR_SUCCESS && !sqlite3_get_autocommit(db)) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    if (status == ERROR_SUCCESS && (version != kSchemaVersion || !SchemaMatches(db, root_ids))) {
        status = ERROR_REGISTRY_CORRUPT;
        why = "it holds other tables than the registry's";
    }
    if (status == ERROR_SUCCESS) {
        // WAL lets readers and one writer work at once; a file system that cannot have it keeps
        // the rollback journal, which works too.
        sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        // With WAL, NORMAL keeps the database sound across crashes of the process.
        sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
        if (sqlite3_db_readonly(db, "main") == 1) {
            // SQLite opened it for reading only (the file is write-protected): it is used, and
            // every call that would change it fails.
            std::fprintf(stderr,
                         "win32layer: the registry database \"%s\" is read-only; it is read, "
                         "but registry calls that would change it fail with error %ld\n",
                         path.c_str(), static_cast<long>(ERROR_ACCESS_DENIED));
        }
        *db_out = db;
        return ERROR_SUCCESS;
    }
    if (why.empty()) why = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    ReportOpenFailure(path, why.c_str(), status);
    sqlite3_close_v2(db);
    return status;
}

// Closes the database, its log moved into the file first (the close itself does that only when
// no other process has the database open).
void CloseConnection(RegistryConnection* connection) {
    if (connection->db != nullptr) RegistryCheckpoint(connection->db);
    for (const auto& [sql, statement] : connection->idle_statements) sqlite3_finalize(statement);
    connection->idle_statements.clear();
    if (connection->db != nullptr) sqlite3_close_v2(connection->db);
    connection->db = nullptr;
    connection->tried = false;
    connection->open_status = ERROR_SUCCESS;
    connection->corruption_reported = false;
    connection->open_failure_reported = false;
    ++connection->generation;
}

RegistryConnection::~RegistryConnection() {
    std::lock_guard<std::mutex> lock(mutex);
    CloseConnection(this);
}

void OpenConnection(RegistryConnection* connection) {
    connection->tried = true;
    const std::string path = connection->path_set ? connection->path : DefaultRegistryPath();
    connection->open_status = OpenDatabase(path, &connection->db, connection->root_ids);
    if (connection->db != nullptr) connection->open_failure_reported = false;
}

}  // namespace

// The holder runs under the registry lock (its RegistrySession outlives it), and so does this.
RegistryStatement::~RegistryStatement() {
    if (stmt == nullptr) return;
    RegistryConnection& connection = Connection();
    if (db == connection.db && db != nullptr) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        connection.idle_statements.emplace_back(sqlite3_sql(stmt), stmt);
    } else {
        sqlite3_finalize(stmt);
    }
}

int RegistryPrepare(sqlite3* db, const char* sql, RegistryStatement* statement) {
    RegistryConnection& connection = Connection();
    statement->db = db;
    if (db == connection.db) {
        auto& idle = connection.idle_statements;
        const std::string_view text(sql);
        for (size_t i = idle.size(); i-- > 0;) {
            if (idle[i].first == text) {
                statement->stmt = idle[i].second;
                idle[i] = idle.back();
                idle.pop_back();
                return SQLITE_OK;
            }
        }
    }
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement->stmt, nullptr);
}

void RegistrySessionBegin(RegistrySession* session) {
    RegistryConnection& connection = Connection();
    session->lock = std::unique_lock<std::mutex>(connection.mutex);
    // A database that could not be opened (a full disk, a locked file, a folder that could not
    // be made, memory short) is tried again by the next call, so that one passing failure does
    // not leave a long-running process without its registry. One that is damaged or not a
    // registry is not: it is left as it is.
    if (!connection.tried ||
        (connection.db == nullptr && connection.open_status != ERROR_REGISTRY_CORRUPT)) {
        OpenConnection(&connection);
    }
    session->db = connection.db;
    session->status = connection.open_status;
    session->generation = connection.generation;
    for (int i = 0; i < static_cast<int>(RegistryRoot::Count); ++i) {
        session->root_ids[i] = connection.root_ids[i];
    }
}

LONG RegistryStatusFromSqlite(sqlite3* db, int rc, bool write) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: {
            RegistryConnection& connection = Connection();
            if (!connection.corruption_reported) {
                connection.corruption_reported = true;
                std::fprintf(stderr, "win32layer: the registry database is damaged (%s)\n",
                             sqlite3_errmsg(db));
            }
            return ERROR_REGISTRY_CORRUPT;
        }
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return ERROR_ACCESS_DENIED;
        default:
            return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

namespace {

// Runs one statement that returns no rows, prepared once; SQLITE_OK when it ran.
int RunStatement(sqlite3* db, const char* sql) {
    RegistryStatement statement;
    const int rc = RegistryPrepare(db, sql, &statement);
    if (rc != SQLITE_OK) return rc;
    const int step = sqlite3_step(statement.stmt);
    return step == SQLITE_DONE ? SQLITE_OK : step;
}

}  // namespace

LONG RegistryTransactionBegin(RegistryTransaction* transaction, sqlite3* db, bool write) {
    transaction->db = db;
    transaction->write = write;
    const int rc = RunStatement(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
    transaction->open = rc == SQLITE_OK;
    return RegistryStatusFromSqlite(db, rc, write);
}

LONG RegistryTransactionCommit(RegistryTransaction* transaction) {
    const int rc = RunStatement(transaction->db, "COMMIT");
    if (rc == SQLITE_OK) transaction->open = false;
    return RegistryStatusFromSqlite(transaction->db, rc, transaction->write);
}

void RegistryTransactionEnd(RegistryTransaction* transaction) {
    if (transaction->open && !sqlite3_get_autocommit(transaction->db)) {
        RunStatement(transaction->db, "ROLLBACK");
    }
    transaction->open = false;
}

void RegistryCheckpoint(sqlite3* db) {
    if (db == nullptr || sqlite3_get_autocommit(db) == 0) return;
    sqlite3_busy_timeout(db, kCheckpointBusyTimeoutMs);
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

extern "C" WIN32LAYER_API void Win32LayerSetRegistryPath(const char* utf8_path) {
    RegistryConnection& connection = Connection();
    std::lock_guard<std::mutex> lock(connection.mutex);
    CloseConnection(&connection);
    connection.path_set = utf8_path != nullptr;
    connection.path = utf8_path != nullptr ? utf8_path : "";
    // The next registry call opens it (and reports, once, if it cannot be used).
}
