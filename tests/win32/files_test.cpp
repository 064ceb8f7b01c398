// Files through the layer: UTF-16 paths (non-ASCII included), dispositions, missing files and
// folders, as Windows reports them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <filesystem>
#include <string>

#include "win32/test_probes.h"

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("win32layer-files-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        files_at_start_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_FILE);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder_);
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_FILE), files_at_start_);
    }
    // The folder as a UTF-16 path, followed by name.
    std::u16string Path(const std::u16string& name) const {
        std::u16string path = folder_.u16string();
        return path + u"/" + name;
    }
    std::filesystem::path folder_;
    int files_at_start_ = 0;
};

TEST_F(FilesTest, WritesAndReadsBackUnderANonAsciiName) {
    std::u16string path = Path(u"写真 ü.jpg");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    const char data[] = "\xFF\xD8 picture bytes";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, data, sizeof(data), &written, nullptr));
    EXPECT_EQ(written, sizeof(data));
    ASSERT_TRUE(CloseHandle(file));

    // The name reached the file system as UTF-8.
    EXPECT_TRUE(std::filesystem::exists(folder_ / u8"写真 ü.jpg"));

    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0xBDBDBDBD;
    EXPECT_EQ(GetFileSize(file, &high), sizeof(data));
    EXPECT_EQ(high, 0u);
    char back[64];
    std::memset(back, 0xBD, sizeof(back));
    DWORD read = 0;
    // Asking for more than the file holds reads what there is.
    ASSERT_TRUE(ReadFile(file, back, sizeof(back), &read, nullptr));
    EXPECT_EQ(read, sizeof(data));
    EXPECT_EQ(std::memcmp(back, data, sizeof(data)), 0);
    EXPECT_EQ(static_cast<unsigned char>(back[sizeof(data)]), 0xBD);
    // At the end of the file a read succeeds with nothing read.
    ASSERT_TRUE(ReadFile(file, back, sizeof(back), &read, nullptr));
    EXPECT_EQ(read, 0u);
    ASSERT_TRUE(CloseHandle(file));

    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, SurrogatePairsAndBackslashesMakeLinuxPaths) {
    std::filesystem::create_directories(folder_ / "sub");
    std::u16string path = Path(u"sub\\\U0001F5BC.bmp");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_TRUE(std::filesystem::exists(folder_ / "sub" / u8"\U0001F5BC.bmp"));

    // An unpaired surrogate cannot name a Linux file.
    const WCHAR broken[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(CreateFileW(broken, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FilesTest, MissingFileAndMissingFolderAreToldApart) {
    std::u16string missing = Path(u"absent.jpg");
    SetLastError(0);
    EXPECT_EQ(CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    std::u16string in_missing_folder = Path(u"nowhere/absent.jpg");
    EXPECT_EQ(
        CreateFileW(in_missing_folder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    EXPECT_EQ(CreateFileW(u"", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST_F(FilesTest, FolderOpensOnlyWithBackupSemantics) {
    std::u16string folder = folder_.u16string();
    EXPECT_EQ(CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    HANDLE handle = CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(handle));

    EXPECT_EQ(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FilesTest, DispositionsCreateTruncateAndReportExisting) {
    std::u16string path = Path(u"d.bin");
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);

    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "abcdef", 6, &written, nullptr));
    ASSERT_TRUE(CloseHandle(file));

    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 6u);
    ASSERT_TRUE(CloseHandle(file));

    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    // A file opened for writing only cannot be read.
    char byte;
    DWORD read = 7;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &read, nullptr));
    EXPECT_EQ(read, 0u);
    ASSERT_TRUE(CloseHandle(file));

    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, 99, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, ClosedHandleIsRefused) {
    std::u16string path = Path(u"c.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD read = 5;
    char byte;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &read, nullptr));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(LastErrorTest, IsKeptPerThread) {
    SetLastError(1234);
    DWORD seen_by_other = 0;
    std::thread other([&] {
        seen_by_other = GetLastError();
        SetLastError(99);
    });
    other.join();
    EXPECT_EQ(seen_by_other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
