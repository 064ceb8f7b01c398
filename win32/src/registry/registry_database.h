// The process's connection to the registry database: where it lives, opening it (and creating
// its schema on first use), refusing a file that is damaged or not a registry, and transactions.
// The statements over its rows are in registry_rows.cpp; the registry calls (registry.cpp) reach
// the database only through a RegistrySession and those rows.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "win32/base.h"

struct sqlite3;
struct sqlite3_stmt;

// The roots that the database holds, in the order of their rows' creation.
enum class RegistryRoot : uint8_t { CurrentUser, LocalMachine, Count };

// Holds the registry lock while a call works on the database. status is ERROR_SUCCESS when db
// is open; otherwise the reason the database cannot be used (ERROR_CANTOPEN,
// ERROR_REGISTRY_CORRUPT ...), and db is null.
struct RegistrySession {
    std::unique_lock<std::mutex> lock;
    sqlite3* db = nullptr;
    uint64_t generation = 0;  // changes whenever another database is opened
    int64_t root_ids[static_cast<int>(RegistryRoot::Count)] = {};
    LONG status = ERROR_SUCCESS;
};

// Locks the registry and opens the database if it is not open yet. A database that failed to
// open is tried again by the next session, reported only once for its path; one refused as
// damaged or not a registry is not tried again until the path is set anew.
void RegistrySessionBegin(RegistrySession* session);

// The Win32 status for a failed SQLite result code; write tells whether the statement wrote.
// Reports corruption met after the open on stderr, once.
LONG RegistryStatusFromSqlite(sqlite3* db, int rc, bool write);

// A transaction around one registry call: BEGIN IMMEDIATE for a call that writes (so that two
// processes writing at once wait for each other instead of failing mid-way), BEGIN for one that
// only reads (a consistent view across its statements). Rolled back unless committed.
struct RegistryTransaction {
    sqlite3* db = nullptr;
    bool write = false;
    bool open = false;
};
LONG RegistryTransactionBegin(RegistryTransaction* transaction, sqlite3* db, bool write);
LONG RegistryTransactionCommit(RegistryTransaction* transaction);
void RegistryTransactionEnd(RegistryTransaction* transaction);  // rolls back if still open

// Copies what the write-ahead log holds into the database file and truncates the log, so that
// the file alone holds every committed key and value. Waits only briefly for other processes:
// when one is reading or writing, the log is left to it. Does nothing inside a transaction.
void RegistryCheckpoint(sqlite3* db);

// A prepared statement of the session's database, reset and kept for the next call that runs
// the same SQL when the holder leaves scope (finalised instead when the database was closed
// meanwhile). Statements are made and given back under the registry lock.
struct RegistryStatement {
    sqlite3_stmt* stmt = nullptr;
    sqlite3* db = nullptr;
    RegistryStatement() = default;
    RegistryStatement(const RegistryStatement&) = delete;
    RegistryStatement& operator=(const RegistryStatement&) = delete;
    ~RegistryStatement();
};
int RegistryPrepare(sqlite3* db, const char* sql, RegistryStatement* statement);
