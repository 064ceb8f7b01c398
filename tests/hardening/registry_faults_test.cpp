// A registry database file that is damaged, unreadable or read-only: the layer says so once on
// stderr, naming the file; the file is kept exactly as it was for inspection (nothing writes
// over it); the item's settings load leaves the defaults; saves fail with a status.
//
// Permissions do not stop root, so when the tests run as root the process that meets the file
// drops to the user nobody first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "target_program.h"
#include "picture_settings.h"
#include "registry_fixture.h"
#include "win32/host_services.h"

namespace {

constexpr uid_t kNobody = 65534;

std::vector<char> ReadAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

// The database is opened by each test when it is ready (or by the program it runs).
class RegistryFaultsTest : public testsupport::TempRegistryTest {
protected:
    RegistryFaultsTest() : TempRegistryTest(false) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempRegistryTest::SetUp());
        database_ = registry_path_.string();
        messages_ = (folder_ / "stderr.txt").string();
    }

    // A database holding settings that differ from the defaults in every field.
    void MakeDatabaseWithSettings() {
        Win32LayerSetRegistryPath(database_.c_str());
        PictureSettings settings = DefaultPictureSettings();
        settings.mode = DrawMode::Tile;
        settings.height = 77;
        settings.path[0] = u'x';
        ASSERT_EQ(SavePictureSettings(&settings), ERROR_SUCCESS);
        // Closed, with its write-ahead log folded back into the file.
        Win32LayerSetRegistryPath(nullptr);
    }

    // Runs `check` in a child process (as nobody when this is root) with stderr going to a
    // file; returns the child's exit status and leaves the messages in `stderr_text`.
    int RunInChild(const std::function<int()>& check, std::string* stderr_text) {
        std::fflush(stderr);
        const pid_t child = fork();
        if (child == 0) {
            const int out = open(messages_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            dup2(out, 2);
            if (getuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(90);
            _exit(check());
        }
        int status = 0;
        waitpid(child, &status, 0);
        const std::vector<char> text = ReadAll(messages_);
        stderr_text->assign(text.begin(), text.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + status;
    }

    // The child's check: the settings load keeps the defaults, a save fails with `status`.
    std::function<int()> LoadKeepsDefaultsAndSaveFails(LSTATUS expected_save) {
        return [this, expected_save] {
            Win32LayerSetRegistryPath(database_.c_str());
            PictureSettings settings = DefaultPictureSettings();
            if (LoadPictureSettings(&settings) == ERROR_SUCCESS) return 1;
            const PictureSettings defaults = DefaultPictureSettings();
            if (std::memcmp(&settings, &defaults, sizeof(settings)) != 0) return 2;
            if (SavePictureSettings(&defaults) != expected_save) return 3;
            return 0;
        };
    }

    std::string database_;
    std::string messages_;
};

TEST_F(RegistryFaultsTest, DamagedFileIsKeptAsItIsAndTheItemRunsOnItsDefaults) {
    MakeDatabaseWithSettings();
    // Overwrite the middle of the file, past SQLite's header: pages of the tables are damaged.
    std::vector<char> bytes = ReadAll(database_);
    ASSERT_GT(bytes.size(), 4096u);
    for (size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(database_, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0666);

    std::string messages;
    EXPECT_EQ(RunInChild(LoadKeepsDefaultsAndSaveFails(ERROR_REGISTRY_CORRUPT), &messages), 0);
    EXPECT_NE(messages.find(database_), std::string::npos) << messages;
    EXPECT_NE(messages.find("left as it is"), std::string::npos) << messages;
    EXPECT_EQ(ReadAll(database_), bytes);
}

TEST_F(RegistryFaultsTest, FileOfAnotherKindIsKeptAsItIs) {
    const std::string text = "not a registry at all\n";
    std::ofstream(database_) << text;
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0666);
    std::string messages;
    EXPECT_EQ(RunInChild(LoadKeepsDefaultsAndSaveFails(ERROR_REGISTRY_CORRUPT), &messages), 0);
    EXPECT_NE(messages.find(database_), std::string::npos) << messages;
    const std::vector<char> after = ReadAll(database_);
    EXPECT_EQ(std::string(after.begin(), after.end()), text);
}

TEST_F(RegistryFaultsTest, UnreadableFileIsReportedAndTheItemRunsOnItsDefaults) {
    MakeDatabaseWithSettings();
    const std::vector<char> bytes = ReadAll(database_);
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0);
    std::string messages;
    EXPECT_EQ(RunInChild(LoadKeepsDefaultsAndSaveFails(ERROR_CANTOPEN), &messages), 0);
    EXPECT_NE(messages.find(database_), std::string::npos) << messages;
    EXPECT_NE(messages.find("cannot be used"), std::string::npos) << messages;
    chmod(database_.c_str(), 0644);
    EXPECT_EQ(ReadAll(database_), bytes);
}

TEST_F(RegistryFaultsTest, ReadOnlyFileIsReadAndSavesAreRefusedWithAMessage) {
    MakeDatabaseWithSettings();
    const std::vector<char> bytes = ReadAll(database_);
    // The folder stays writable for SQLite's shared-memory index; the file is not.
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0444);
    std::string messages;
    const int result = RunInChild(
        [this] {
            Win32LayerSetRegistryPath(database_.c_str());
            PictureSettings settings = DefaultPictureSettings();
            if (LoadPictureSettings(&settings) != ERROR_SUCCESS) return 1;
            if (settings.mode != DrawMode::Tile || settings.height != 77) return 2;
            PictureSettings changed = settings;
            changed.height = 100;
            if (SavePictureSettings(&changed) != ERROR_ACCESS_DENIED) return 3;
            if (LoadPictureSettings(&settings) != ERROR_SUCCESS || settings.height != 77) return 4;
            return 0;
        },
        &messages);
    EXPECT_EQ(result, 0) << messages;
    EXPECT_NE(messages.find(database_), std::string::npos) << messages;
    EXPECT_NE(messages.find("read-only"), std::string::npos) << messages;
    EXPECT_EQ(ReadAll(database_), bytes);
}

// today-host, run on such a file, says in words what is wrong with it.
std::function<int()> RunHost(std::vector<std::string> arguments) {
    return [arguments] {
        const std::vector<std::string> command = testsupport::TargetArgv(
            arguments.front(), std::vector<std::string>(arguments.begin() + 1, arguments.end()));
        std::vector<char*> argv;
        for (const std::string& argument : command)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv.front(), argv.data());
        return 91;
    };
}

TEST_F(RegistryFaultsTest, TheHostExplainsADamagedDatabaseAndLeavesItAsItIs) {
    const std::string text = "not a registry at all\n";
    std::ofstream(database_) << text;
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0666);
    const std::string png = (folder_ / "today.png").string();
    std::string messages;
    EXPECT_EQ(
        RunInChild(RunHost({TODAY_HOST, "show", "--out", png, "--registry", database_}), &messages),
        1);
    EXPECT_NE(messages.find("today-host: cannot read the Today item list"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("damaged"), std::string::npos) << messages;
    EXPECT_NE(messages.find("win32layer: the registry database \"" + database_), std::string::npos)
        << messages;
    const std::vector<char> after = ReadAll(database_);
    EXPECT_EQ(std::string(after.begin(), after.end()), text);
}

TEST_F(RegistryFaultsTest, TheHostExplainsThatItCannotSaveIntoAReadOnlyDatabase) {
    MakeDatabaseWithSettings();
    const std::vector<char> bytes = ReadAll(database_);
    chmod(folder_.c_str(), 0777);
    chmod(database_.c_str(), 0444);
    std::string messages;
    EXPECT_EQ(RunInChild(RunHost({TODAY_HOST, "set", "--height", "50", "--registry", database_}),
                         &messages),
              1);
    EXPECT_NE(messages.find("today-host: cannot save the settings"), std::string::npos) << messages;
    EXPECT_NE(messages.find("read-only"), std::string::npos) << messages;
    EXPECT_EQ(ReadAll(database_), bytes);
}

}  // namespace
