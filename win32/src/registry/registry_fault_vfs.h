// The SQLite file system under the registry database: the default one, with the fault plan's
// database points (a full disk, a write-protected file, a failed sync, a file locked by another
// program, a file that cannot be created) in front of it.
#pragma once

// The name to open the database with (sqlite3_open_v2's zVfs); null when the file system could
// not be registered, and SQLite's default is used.
const char* RegistryFaultVfsName();
