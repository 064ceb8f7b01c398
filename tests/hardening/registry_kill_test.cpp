// The registry database under a writer that is killed (SIGKILL) at random moments of saving the
// item's settings, and under two processes writing at once. After every kill the database must
// pass SQLite's integrity check, and each value must be either what it was or what the killed
// save was writing: never lost once a save returned, never torn, never from a save that had not
// begun. Two writers lose nothing but the earlier of two writes of one value.
//
// The number of kill rounds is HARDENING_KILL_ROUNDS (default 50); run a thousand by hand:
//   HARDENING_KILL_ROUNDS=1000 ctest -R RegistryKill
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "picture_settings.h"
#include "registry_fixture.h"
#include "win32/host_services.h"

namespace {

const char16_t kSettingsKey[] = u"Software\\Quenby\\Lumetta";

// Setting the path opens nothing: the children must not inherit an open connection.
class RegistryKillTest : public testsupport::TempRegistryTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempRegistryTest::SetUp());
        database_ = registry_path_.string();
    }

    std::string database_;
};

// The settings of generation g: each value tells which save wrote it.
PictureSettings Generation(int32_t g) {
    PictureSettings settings = DefaultPictureSettings();
    settings.mode = static_cast<DrawMode>(g % 3);
    settings.height = g;
    const std::string name = "picture-" + std::to_string(g) + ".jpg";
    std::copy(name.begin(), name.end(), settings.path);
    return settings;
}

// Saves generation after generation from `first` on, reporting each finished save on `report`,
// until killed. Runs in a forked child and never returns.
[[noreturn]] void SaveForever(const std::string& database, int32_t first, int report) {
    Win32LayerSetRegistryPath(database.c_str());
    for (int32_t g = first;; ++g) {
        const PictureSettings settings = Generation(g);
        if (SavePictureSettings(&settings) != ERROR_SUCCESS) _exit(3);
        if (write(report, &g, sizeof(g)) != sizeof(g)) _exit(4);
    }
}

std::string IntegrityCheck(const std::string& database) {
    sqlite3* db = nullptr;
    std::string verdict = "cannot open";
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
            sqlite3_step(check) == SQLITE_ROW) {
            verdict = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
        } else {
            verdict = sqlite3_errmsg(db);
        }
        sqlite3_finalize(check);
    }
    sqlite3_close(db);
    return verdict;
}

// A value that is not there reads as -1, as before the first save; one of the wrong type or size
// as -2.
struct StoredGeneration {
    bool present = false;
    int32_t height = -1;  // generation of the Height value
    int32_t mode = -1;
    int32_t path = -1;  // generation named by the Path value; -2 when it is not well formed
};

// Reads the three values raw, checking their types and sizes.
StoredGeneration ReadStored() {
    StoredGeneration stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return stored;
    }
    stored.present = true;
    DWORD type = 0;
    DWORD size = sizeof(int32_t);
    LONG status = RegQueryValueExW(key, u"Height", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&stored.height), &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        stored.height = -1;
    } else if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
        stored.height = -2;
    }
    size = sizeof(int32_t);
    status = RegQueryValueExW(key, u"Mode", nullptr, &type, reinterpret_cast<BYTE*>(&stored.mode),
                              &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        stored.mode = -1;
    } else if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
        stored.mode = -2;
    }
    WCHAR path[MAX_PATH + 1] = {};
    size = sizeof(WCHAR) * MAX_PATH;
    status = RegQueryValueExW(key, u"Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        stored.path = -1;
    } else if (status == ERROR_SUCCESS && type == REG_SZ && size == sizeof(WCHAR) * MAX_PATH) {
        const std::u16string text(path);
        const std::u16string prefix = u"picture-";
        const std::u16string suffix = u".jpg";
        if (text.size() > prefix.size() + suffix.size() && text.rfind(prefix, 0) == 0 &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            const std::u16string digits =
                text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
            stored.path = std::stoi(std::string(digits.begin(), digits.end()));
        } else {
            stored.path = -2;
        }
    } else {
        stored.path = -2;
    }
    RegCloseKey(key);
    return stored;
}

int KillRounds() {
    const char* rounds = std::getenv("HARDENING_KILL_ROUNDS");
    return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 50;
}

// Whether a value is the one before the round or one that a save of this round wrote.
bool OldOrNew(int32_t value, int32_t old, int32_t first, int32_t last_started) {
    return value == old || (value >= first && value <= last_started);
}

TEST_F(RegistryKillTest, EveryValueIsOldOrNewAfterAWriterIsKilledAtAnyMoment) {
    const int rounds = KillRounds();
    std::mt19937 random(20261208);
    int32_t complete = -1;  // the last generation whose save returned
    StoredGeneration before;
    int killed_while_saving = 0;
    for (int round = 0; round < rounds; ++round) {
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        // The connection is closed; the child opens its own.
        Win32LayerSetRegistryPath(database_.c_str());
        const int32_t first = std::max(before.height, complete) + 1;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(report[0]);
            SaveForever(database_, first, report[1]);
        }
        close(report[1]);
        // A quarter of the kills come at once (while the child opens the database or makes its
        // schema), the others once it has saved, within the next few saves.
        int32_t reported = first - 1;
        if (round % 4 != 0) {
            ASSERT_EQ(read(report[0], &reported, sizeof(reported)),
                      static_cast<ssize_t>(sizeof(reported)));
        }
        usleep(std::uniform_int_distribution<useconds_t>(0, 8000)(random));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
        int32_t g = 0;
        while (read(report[0], &g, sizeof(g)) == static_cast<ssize_t>(sizeof(g))) reported = g;
        close(report[0]);
        if (reported >= first) complete = reported;
        const int32_t last_started = reported + 1;  // the save the kill interrupted

        // A writer killed before it created the file (a slow start, as under an emulator)
        // leaves nothing to check, and must not have reported a save.
        if (!std::filesystem::exists(database_)) {
            ASSERT_LT(complete, 0) << "round " << round << ": the database has gone";
            continue;
        }
        ASSERT_EQ(IntegrityCheck(database_), "ok") << "round " << round;
        Win32LayerSetRegistryPath(database_.c_str());
        const StoredGeneration stored = ReadStored();
        SCOPED_TRACE("round " + std::to_string(round) + ", generations " + std::to_string(first) +
                     " to " + std::to_string(last_started));
        if (complete < 0 && !stored.present) continue;  // killed before anything was saved
        ASSERT_TRUE(stored.present);
        // Every value is the one before the round or one a save of this round wrote; the
        // values of every save that returned are there; Height is written before Path.
        EXPECT_TRUE(OldOrNew(stored.height, before.height, first, last_started)) << stored.height;
        EXPECT_TRUE(OldOrNew(stored.path, before.path, first, last_started)) << stored.path;
        EXPECT_GE(stored.height, complete);
        EXPECT_GE(stored.path, complete);
        EXPECT_GE(stored.height, stored.path);
        EXPECT_TRUE((stored.mode >= 0 && stored.mode <= 2) || stored.mode == before.mode)
            << stored.mode;
        if (stored.height > complete) ++killed_while_saving;
        before = stored;
        if (HasFailure()) return;
    }
    std::printf("%d rounds, %d kills in the middle of a save, last generation %d\n", rounds,
                killed_while_saving, before.height);
}

// Two processes write at once: distinct values all arrive, and a value both write ends as one
// of their last writes.
TEST_F(RegistryKillTest, TwoWritersAtOnceLoseNothingButTheEarlierWriteOfOneValue) {
    constexpr int kWrites = 150;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = fork();
        ASSERT_GE(children[who], 0);
        if (children[who] != 0) continue;
        // Both start on a database file that does not exist yet.
        Win32LayerSetRegistryPath(database_.c_str());
        for (int i = 0; i < kWrites; ++i) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Race", 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) != ERROR_SUCCESS) {
                _exit(10);
            }
            const std::string name = std::string(who == 0 ? "a" : "b") + std::to_string(i);
            const std::u16string wide(name.begin(), name.end());
            const int32_t value = who * 100000 + i;
            if (RegSetValueExW(key, wide.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value),
                               sizeof(value)) != ERROR_SUCCESS ||
                RegSetValueExW(key, u"Shared", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof(value)) != ERROR_SUCCESS) {
                _exit(11);
            }
            RegCloseKey(key);
        }
        _exit(0);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ASSERT_EQ(IntegrityCheck(database_), "ok");
    Win32LayerSetRegistryPath(database_.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Race", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (int who = 0; who < 2; ++who) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string name = std::string(who == 0 ? "a" : "b") + std::to_string(i);
            const std::u16string wide(name.begin(), name.end());
            int32_t value = -1;
            DWORD size = sizeof(value);
            ASSERT_EQ(RegQueryValueExW(key, wide.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS)
                << name;
            EXPECT_EQ(value, who * 100000 + i) << name;
        }
    }
    int32_t shared = -1;
    DWORD size = sizeof(shared);
    ASSERT_EQ(
        RegQueryValueExW(key, u"Shared", nullptr, nullptr, reinterpret_cast<BYTE*>(&shared), &size),
        ERROR_SUCCESS);
    EXPECT_TRUE(shared == kWrites - 1 || shared == 100000 + kWrites - 1) << shared;
    RegCloseKey(key);
}

}  // namespace
