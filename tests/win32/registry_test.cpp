// The registry as callers rely on it: keys under the two roots, values as raw typed bytes, the
// Windows statuses (ERROR_MORE_DATA with nothing written, ERROR_FILE_NOT_FOUND, refusing to
// delete a key with subkeys), handles counted in the handle table, the database readable with
// SQLite, damaged files refused without being touched, two processes writing at once, and the
// database file holding everything once a program is done with the registry.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "registry_fixture.h"
#include "win32/host_services.h"
#include "win32/test_probes.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RegistryTest : public testsupport::TempRegistryTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempRegistryTest::SetUp());
        path_ = registry_path_;
    }

    HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, const_cast<LPWSTR>(u""), REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }

    fs::path path_;
};

TEST_F(RegistryTest, CreateMakesMissingParentsAndReportsDisposition) {
    DWORD disposition = 0;
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    key = Create(HKEY_CURRENT_USER, u"SOFTWARE\\quenby\\LUMETTA", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    // Creating below an existing parent reports the new leaf as new.
    key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Other", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);

    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\QUENBY", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    // The names keep the case they were created with.
    WCHAR name[32];
    DWORD length = 32;
    ASSERT_EQ(RegEnumKeyExW(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"Lumetta");
    RegCloseKey(parent);
}

TEST_F(RegistryTest, OpenFailsCleanlyForMissingKeysAndBadArguments) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\Software", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"a\\\\b", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExW(nullptr, u"Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    const std::u16string too_long(256, u'k');
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, too_long.c_str(), 0, KEY_READ, &key),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, RootsAreSeparate) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta"));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndExactBytes) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta");
    const DWORD height = 0x01020304;
    ASSERT_EQ(
        RegSetValueExW(key, u"Height", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&height), 4),
        ERROR_SUCCESS);
    // A REG_SZ of 520 bytes: text, terminator, zero fill — stored as given.
    WCHAR path[260] = {};
    std::memcpy(path, u"\\My Documents\\p.bmp", sizeof(u"\\My Documents\\p.bmp"));
    ASSERT_EQ(RegSetValueExW(key, u"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), 520),
              ERROR_SUCCESS);
    const BYTE odd[] = {0, 0xff, 0, 7, 0};
    ASSERT_EQ(RegSetValueExW(key, u"Odd", 0, REG_DWORD, odd, 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_BINARY, odd, 5), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD read_height = 0;
    DWORD size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"HEIGHT", nullptr, &type,
                               reinterpret_cast<BYTE*>(&read_height), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(read_height, height);

    WCHAR read_path[260];
    std::memset(read_path, 0xBD, sizeof(read_path));
    size = sizeof(read_path);
    ASSERT_EQ(
        RegQueryValueExW(key, u"Path", nullptr, &type, reinterpret_cast<BYTE*>(read_path), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 520u);
    EXPECT_EQ(std::memcmp(read_path, path, 520), 0);

    BYTE buffer[8];
    std::memset(buffer, 0xBD, sizeof(buffer));
    size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExW(key, u"Odd", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);  // a DWORD of 3 bytes, as another tool may write it
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(buffer, odd, 3), 0);
    EXPECT_EQ(buffer[3], 0xBD);

    size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExW(key, u"Empty", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 0u);

    size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExW(key, u"", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);

    // Setting again replaces type and bytes.
    ASSERT_EQ(RegSetValueExW(key, u"height", 0, REG_BINARY, odd, 2), ERROR_SUCCESS);
    size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExW(key, u"Height", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, SmallBufferGetsMoreDataAndStaysUntouched) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta");
    const BYTE bytes[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(RegSetValueExW(key, u"Mode", 0, REG_BINARY, bytes, 6), ERROR_SUCCESS);

    BYTE buffer[8];
    std::memset(buffer, 0xBD, sizeof(buffer));
    DWORD size = 4;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_BINARY);
    for (BYTE b : buffer) EXPECT_EQ(b, 0xBD);

    // No buffer: the size alone.
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);

    size = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, &type, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyDeletesTheWholeTreeAsTheDeviceDoes) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta"));
    HKEY items = Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items");
    HKEY lumetta = nullptr;
    ASSERT_EQ(RegOpenKeyExW(items, u"Lumetta", 0, KEY_ALL_ACCESS, &lumetta), ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(
        RegSetValueExW(lumetta, u"Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
        ERROR_SUCCESS);

    // A key with subkeys goes with all of them (desktop Windows would refuse it); a sibling
    // tree and the parent stay.
    RegCloseKey(
        Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta\\Sub\\Deeper"));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Other"));
    HKEY today = Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today");
    EXPECT_EQ(RegDeleteKeyW(today, u"Items"), ERROR_SUCCESS);
    HKEY probe = nullptr;
    for (const char16_t* gone : {u"Items", u"Items\\Lumetta", u"Items\\Lumetta\\Sub\\Deeper"}) {
        EXPECT_EQ(RegOpenKeyExW(today, gone, 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(RegOpenKeyExW(today, u"Other", 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);
    RegCloseKey(today);
    // The handles that stayed open on the deleted keys no longer reach anything.
    DWORD gone_size = 4;
    EXPECT_EQ(RegQueryValueExW(items, u"X", nullptr, nullptr, nullptr, &gone_size),
              ERROR_KEY_DELETED);
    RegCloseKey(items);

    // Deleting a key by another letter case.
    items = Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items");
    RegCloseKey(lumetta);
    lumetta = Create(items, u"Lumetta");
    ASSERT_EQ(
        RegSetValueExW(lumetta, u"Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
        ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(items, u"LUMETTA"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(items, u"Lumetta"), ERROR_FILE_NOT_FOUND);
    // The handle that stayed open on the deleted key no longer reaches anything.
    DWORD size = 4;
    DWORD value = 0;
    EXPECT_EQ(RegQueryValueExW(lumetta, u"Enabled", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_KEY_DELETED);
    RegCloseKey(lumetta);

    // A key of the same name made again starts without the old values.
    DWORD disposition = 0;
    lumetta = Create(items, u"Lumetta", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegQueryValueExW(lumetta, u"Enabled", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(lumetta);
    RegCloseKey(items);

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, DeleteValue) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta");
    const BYTE byte = 9;
    ASSERT_EQ(RegSetValueExW(key, u"Mode", 0, REG_BINARY, &byte, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"MODE"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Mode"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationListsKeysByNameAndValuesInOrderSet) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\List");
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) RegCloseKey(Create(key, name));
    const BYTE data[4] = {1, 2, 3, 4};
    for (const char16_t* name : {u"Zed", u"Mode", u"Alpha"}) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_BINARY, data, 4), ERROR_SUCCESS);
    }
    ASSERT_EQ(RegSetValueExW(key, u"ZED", 0, REG_DWORD, data, 4), ERROR_SUCCESS);  // keeps place

    std::vector<std::u16string> keys;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        DWORD length = 64;
        const LONG status =
            RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        keys.emplace_back(name, length);
    }
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));

    std::vector<std::u16string> values;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        DWORD length = 64;
        DWORD type = 0;
        BYTE bytes[4];
        DWORD size = 4;
        const LONG status = RegEnumValueW(key, i, name, &length, nullptr, &type, bytes, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(size, 4u);
        values.emplace_back(name, length);
    }
    EXPECT_EQ(values, (std::vector<std::u16string>{u"Zed", u"Mode", u"Alpha"}));

    // Too small a name buffer, and too small a data buffer (left untouched).
    WCHAR name[5];
    DWORD length = 5;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    BYTE bytes[2] = {0xBD, 0xBD};
    DWORD size = 2;
    length = 5;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, bytes, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(bytes[0], 0xBD);

    DWORD sub_keys = 0, longest_key = 0, value_count = 0, longest_name = 0, largest = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &sub_keys, &longest_key, nullptr,
                               &value_count, &longest_name, &largest, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sub_keys, 3u);
    EXPECT_EQ(longest_key, 5u);
    EXPECT_EQ(value_count, 3u);
    EXPECT_EQ(longest_name, 5u);
    EXPECT_EQ(largest, 4u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandlesAreCountedAndHonourTheirAccess) {
    const int before = Win32LayerLiveHandleCount(WIN32LAYER_KIND_REGISTRY_KEY);
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby");
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_REGISTRY_KEY), before + 2);

    const BYTE byte = 1;
    EXPECT_EQ(RegSetValueExW(reader, u"X", 0, REG_BINARY, &byte, 1), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);

    EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_REGISTRY_KEY), before);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryTest, StoredValuesPersistAndReadWithSqlite) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta");
    const DWORD mode = 2;
    ASSERT_EQ(RegSetValueExW(key, u"Mode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);

    // The documented query, run by another connection.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT p.path, v.name, v.type, hex(v.data) FROM key_values v"
                                 " JOIN key_paths p ON p.id = v.key_id",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                 "HKEY_CURRENT_USER\\Software\\Quenby\\Lumetta");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), "Mode");
    EXPECT_EQ(sqlite3_column_int(stmt, 2), 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)), "02000000");
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    // Reopened, the layer finds it again; old handles died with the old connection.
    HKEY stale = Create(HKEY_CURRENT_USER, u"Software");
    Win32LayerSetRegistryPath(path_.c_str());
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(stale, u"Mode", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD read_mode = 0;
    size = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, reinterpret_cast<BYTE*>(&read_mode),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read_mode, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedFileIsRefusedUntouchedAndReportedOnce) {
    const fs::path damaged = folder_ / "damaged.sqlite3";
    {
        std::ofstream out(damaged, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>(i * 37 + 11));
    }
    const std::vector<char> before = ReadAll(damaged);

    testing::internal::CaptureStderr();
    Win32LayerSetRegistryPath(damaged.c_str());
    HKEY key = nullptr;
    const LONG open_status = RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key);
    const LONG create_status = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\X", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const std::string messages = testing::internal::GetCapturedStderr();

    EXPECT_EQ(open_status, ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(create_status, ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(ReadAll(damaged), before);
    // One line naming the file.
    EXPECT_NE(messages.find(damaged.string()), std::string::npos);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 1);
}

TEST_F(RegistryTest, ForeignDatabaseIsRefusedUntouched) {
    const fs::path foreign = folder_ / "foreign.sqlite3";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE keys (x); INSERT INTO keys VALUES (1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::vector<char> before = ReadAll(foreign);

    testing::internal::CaptureStderr();
    Win32LayerSetRegistryPath(foreign.c_str());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(ReadAll(foreign), before);
}

TEST_F(RegistryTest, UnopenablePathFailsWithCantOpen) {
    const fs::path blocker = folder_ / "file";
    std::ofstream(blocker).put('x');
    testing::internal::CaptureStderr();
    Win32LayerSetRegistryPath((blocker / "sub" / "registry.sqlite3").c_str());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_CANTOPEN);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("registry"), std::string::npos);
}

TEST_F(RegistryTest, DefaultLocationFollowsEnvironment) {
    const fs::path explicit_path = folder_ / "env" / "reg.db";
    const fs::path config = folder_ / "config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("WIN32LAYER_REGISTRY", explicit_path.c_str(), 1);
    Win32LayerSetRegistryPath(nullptr);
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software"));
    EXPECT_TRUE(fs::exists(explicit_path));

    unsetenv("WIN32LAYER_REGISTRY");
    Win32LayerSetRegistryPath(nullptr);
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software"));
    EXPECT_TRUE(fs::exists(config / "win32layer" / "registry.sqlite3"));
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryTest, TwoProcessesWriteTheSameDatabase) {
    // Keep this process's own connection off the shared file while the children run.
    Win32LayerSetRegistryPath((folder_ / "parent.sqlite3").c_str());
    constexpr int kWrites = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            Win32LayerSetRegistryPath(path_.c_str());
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Shared", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                const std::u16string name =
                    u"v" + std::u16string(1, static_cast<char16_t>(u'a' + c)) +
                    std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                    std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
                const DWORD data = static_cast<DWORD>(i);
                if (RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&data), 4) != ERROR_SUCCESS) {
                    ++failures;
                }
                RegCloseKey(key);
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Win32LayerSetRegistryPath(path_.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Shared", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kWrites);
    RegCloseKey(key);
}

// The leak checker's switch, present in the sanitizer builds only.
extern "C" void __lsan_disable() __attribute__((weak));

// How a program is done with the registry. Each must leave everything in the database file:
// a copy of that file alone, without its write-ahead log, is a whole backup.
enum class RegistryEnd {
    CloseLastHandle,  // closes its last key and is killed at once (no exit code runs)
    ExitWithKeyOpen,  // returns from main with a key still open
    SwitchDatabase,   // turns to another database file, then is killed
};

struct RegistryEndCase {
    const char* name;
    RegistryEnd end;
};

class RegistryFileAloneTest : public RegistryTest,
                              public testing::WithParamInterface<RegistryEndCase> {};

// Every stored value as "path\name=hex", sorted, read with SQLite from the file at path.
std::vector<std::string> StoredValues(const fs::path& path) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT p.path || '\\' || v.name || '=' || hex(v.data)"
                               " FROM key_values v JOIN key_paths p ON p.id = v.key_id",
                               -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                values.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    std::sort(values.begin(), values.end());
    return values;
}

TEST_P(RegistryFileAloneTest, CopyOfTheFileHoldsEveryValue) {
    // The writes happen in a child process with a database of its own; this process opens
    // nothing until the child has ended.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A key left open at exit is left behind on purpose: the leak checker of the sanitizer
        // builds ignores what is allocated from here on.
        if (GetParam().end == RegistryEnd::ExitWithKeyOpen && __lsan_disable != nullptr)
            __lsan_disable();
        Win32LayerSetRegistryPath(path_.c_str());
        HKEY keys[2] = {};
        const char16_t* const paths[2] = {u"Software\\Quenby\\Lumetta", u"Software\\Other"};
        int failures = 0;
        for (int k = 0; k < 2; ++k) {
            if (RegCreateKeyExW(HKEY_CURRENT_USER, paths[k], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &keys[k], nullptr) != ERROR_SUCCESS)
                _exit(3);
            for (DWORD i = 0; i < 5; ++i) {
                const char16_t name[] = {u'v', static_cast<char16_t>(u'0' + i), 0};
                const DWORD data = 0x1000 * (k + 1) + i;
                failures += RegSetValueExW(keys[k], name, 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(&data), 4) != 0;
            }
        }
        failures += RegDeleteValueW(keys[1], u"v4") != ERROR_SUCCESS;
        switch (GetParam().end) {
            case RegistryEnd::CloseLastHandle:
                RegCloseKey(keys[0]);
                RegCloseKey(keys[1]);
                _exit(failures == 0 ? 0 : 1);
            case RegistryEnd::ExitWithKeyOpen:
                RegCloseKey(keys[1]);
                exit(failures == 0 ? 0 : 1);
            case RegistryEnd::SwitchDatabase:
                Win32LayerSetRegistryPath((folder_ / "other.sqlite3").c_str());
                _exit(failures == 0 ? 0 : 1);
        }
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // The log is empty or gone.
    const fs::path wal = path_.string() + "-wal";
    std::error_code error;
    EXPECT_TRUE(!fs::exists(wal) || fs::file_size(wal, error) == 0) << fs::file_size(wal, error);

    const fs::path copy = folder_ / "backup.sqlite3";
    ASSERT_TRUE(fs::copy_file(path_, copy));
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i)
        expected.push_back("HKEY_CURRENT_USER\\Software\\Other\\v" + std::to_string(i) + "=0" +
                           std::to_string(i) + "200000");
    for (int i = 0; i < 5; ++i)
        expected.push_back("HKEY_CURRENT_USER\\Software\\Quenby\\Lumetta\\v" + std::to_string(i) +
                           "=0" + std::to_string(i) + "100000");
    EXPECT_EQ(StoredValues(copy), expected);

    // The layer itself reads the copy as a registry.
    Win32LayerSetRegistryPath(copy.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(
        RegQueryValueExW(key, u"v3", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 0x1003u);
    RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, RegistryFileAloneTest,
    testing::Values(RegistryEndCase{"CloseLastHandle", RegistryEnd::CloseLastHandle},
                    RegistryEndCase{"ExitWithKeyOpen", RegistryEnd::ExitWithKeyOpen},
                    RegistryEndCase{"SwitchDatabase", RegistryEnd::SwitchDatabase}),
    [](const testing::TestParamInfo<RegistryEndCase>& end_case) { return end_case.param.name; });

}  // namespace
