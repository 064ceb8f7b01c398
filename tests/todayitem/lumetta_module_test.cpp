// The built libraries as modules: lumetta's exports by ordinal only, its instance, its file
// name, and the version resources of lumetta and varnel found by type, name and language.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "pocketpc.h"
#include "windows.h"

namespace {

std::u16string Wide(const char* text) {
    std::u16string out;
    for (; *text != '\0'; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

class ModuleTest : public testing::Test {
protected:
    void SetUp() override {
        lumetta_ = LoadLibraryW(Wide(LUMETTA_PATH).c_str());
        ASSERT_NE(lumetta_, nullptr);
        // lumetta needs varnel: it is loaded already, and this takes one more reference.
        varnel_ = LoadLibraryW(Wide(VARNEL_PATH).c_str());
        ASSERT_NE(varnel_, nullptr);
    }
    void TearDown() override {
        if (varnel_ != nullptr) FreeLibrary(varnel_);
        if (lumetta_ != nullptr) FreeLibrary(lumetta_);
    }

    // The version block of a library file.
    static std::vector<BYTE> VersionBlock(const char* path) {
        DWORD handle = 0xFFFF;
        DWORD size = GetFileVersionInfoSizeW(Wide(path).c_str(), &handle);
        EXPECT_EQ(handle, 0u);
        std::vector<BYTE> block(size);
        if (size == 0 || !GetFileVersionInfoW(Wide(path).c_str(), 0, size, block.data()))
            block.clear();
        return block;
    }

    static std::u16string QueryText(const std::vector<BYTE>& block, const char16_t* name) {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), name, &value, &length) || length == 0) return u"<none>";
        const char16_t* text = static_cast<const char16_t*>(value);
        EXPECT_EQ(text[length - 1], 0) << "the length counts the terminator";
        return std::u16string(text, length - 1);
    }

    HMODULE lumetta_ = nullptr;
    HMODULE varnel_ = nullptr;
};

TEST_F(ModuleTest, LumettaExportsOrdinals240And241AndNoNames) {
    FARPROC initialize = GetProcAddress(lumetta_, MAKEINTRESOURCEA(240));
    FARPROC options = GetProcAddress(lumetta_, MAKEINTRESOURCEA(241));
    EXPECT_NE(initialize, nullptr);
    EXPECT_NE(options, nullptr);
    EXPECT_NE(initialize, options);
    for (const char* name : {"InitializeCustomItem", "CustomItemOptionsDlgProc", "DllMain",
                             "TodayPictureWndProc", "BuildPictureCache"}) {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(lumetta_, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    EXPECT_EQ(GetProcAddress(lumetta_, MAKEINTRESOURCEA(242)), nullptr);
    // LoadJpeg is varnel's export, not lumetta's, though lumetta imports it.
    EXPECT_EQ(GetProcAddress(lumetta_, "LoadJpeg"), nullptr);
    EXPECT_NE(GetProcAddress(varnel_, "LoadJpeg"), nullptr);
}

TEST_F(ModuleTest, OptionsDialogProcedureLeavesOtherMessagesToTheDialogManager) {
    typedef INT_PTR(CALLBACK * DialogProc)(HWND, UINT, WPARAM, LPARAM);
    auto options = reinterpret_cast<DialogProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(lumetta_, MAKEINTRESOURCEA(241))));
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options(nullptr, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(options(nullptr, WM_LBUTTONUP, 0, 0), FALSE);
}

TEST_F(ModuleTest, ModuleHandleIsTheBaseAddressAndNamesTheFile) {
    EXPECT_EQ(GetModuleHandleW(u"liblumetta.so"), lumetta_);
    EXPECT_EQ(memcmp(reinterpret_cast<const char*>(lumetta_),
                     "\x7f"
                     "ELF",
                     4),
              0);
    // A second load is the same module.
    HMODULE again = LoadLibraryW(Wide(LUMETTA_PATH).c_str());
    EXPECT_EQ(again, lumetta_);
    EXPECT_TRUE(FreeLibrary(again));

    WCHAR path[MAX_PATH + 1];
    std::memset(path, 0xBD, sizeof(path));
    DWORD length = GetModuleFileNameW(lumetta_, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(path[length], 0);
    std::u16string name(path, length);
    EXPECT_EQ(name.substr(name.size() - 14), u"/liblumetta.so");

    // Too small: as many characters as fit, terminated, the size returned, and
    // ERROR_INSUFFICIENT_BUFFER; nothing written past the buffer.
    WCHAR small[9];
    std::memset(small, 0xBD, sizeof(small));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(lumetta_, small, 8), 8u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(small, 7), name.substr(0, 7));
    EXPECT_EQ(small[7], 0);
    EXPECT_EQ(small[8], 0xBDBD);
}

TEST_F(ModuleTest, VersionResourceIsFoundByTypeNameAndLanguage) {
    HRSRC neutral = FindResourceW(lumetta_, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(neutral, nullptr);
    EXPECT_EQ(FindResourceExW(lumetta_, RT_VERSION, MAKEINTRESOURCEW(1),
                              MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)),
              neutral);
    EXPECT_EQ(FindResourceW(lumetta_, u"#1", u"#16"), neutral);

    SetLastError(0);
    EXPECT_EQ(FindResourceExW(lumetta_, RT_VERSION, MAKEINTRESOURCEW(1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FindResourceW(lumetta_, MAKEINTRESOURCEW(2), RT_VERSION), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(lumetta_, MAKEINTRESOURCEW(1), RT_MENU), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));

    // The bytes in the loaded module are those that the version API reads from the file.
    DWORD size = SizeofResource(lumetta_, neutral);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(lumetta_, neutral)));
    ASSERT_NE(bytes, nullptr);
    std::vector<BYTE> block = VersionBlock(LUMETTA_PATH);
    ASSERT_EQ(block.size(), size);
    EXPECT_EQ(memcmp(bytes, block.data(), size), 0);
}

// The version resources of the built libraries, one row per library: its file, its version as
// the fixed information holds it (high and low words) and as text, and the name its strings give.
struct VersionCase {
    const char* name;
    const char* path;
    DWORD version_ms;
    DWORD version_ls;
    const char16_t* version_text;
    const char16_t* product_name;
};

// Names the row in the test list and in failures.
void PrintTo(const VersionCase& row, std::ostream* out) {
    *out << row.name;
}

class VersionResources : public ModuleTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionResources, FixedInformationAndJapaneseUnicodeStrings) {
    const VersionCase& row = GetParam();
    std::vector<BYTE> block = VersionBlock(row.path);
    ASSERT_FALSE(block.empty());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(fixed->dwFileVersionMS, row.version_ms);
    EXPECT_EQ(fixed->dwFileVersionLS, row.version_ls);
    EXPECT_EQ(fixed->dwProductVersionMS, row.version_ms);
    EXPECT_EQ(fixed->dwProductVersionLS, row.version_ls);
    EXPECT_EQ(fixed->dwFileType, VFT_DLL);

    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    DWORD translation = 0;
    memcpy(&translation, value, 4);
    EXPECT_EQ(translation, 0x04B00411u);

    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\FileVersion"), row.version_text);
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\ProductVersion"), row.version_text);
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\FileDescription"), row.product_name);
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\InternalName"), row.product_name);
    // Names are compared without regard to case.
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104B0\\internalname"), row.product_name);
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\ProductName"), row.product_name);
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040904b0\\ProductName"), u"<none>");
    EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\041104b0\\NoSuchName"), u"<none>");
}

INSTANTIATE_TEST_SUITE_P(
    ModuleTest, VersionResources,
    testing::Values(VersionCase{"LumettaVersionIs1_0_2_1InJapaneseUnicode", LUMETTA_PATH,
                                0x00010000u, 0x00020001u, u"1, 0, 2, 1", u"Lumetta"},
                    VersionCase{"VarnelVersionIs1_0_1_0", VARNEL_PATH, 0x00010000u, 0x00010000u,
                                u"1, 0, 1, 0", u"varnel"}),
    [](const testing::TestParamInfo<VersionCase>& row) { return row.param.name; });

TEST_F(ModuleTest, ATruncatedVersionBlockIsQueriedOnlyWithinWhatWasCopied) {
    std::vector<BYTE> whole = VersionBlock(LUMETTA_PATH);
    ASSERT_GT(whole.size(), 200u);
    std::vector<BYTE> part(100, 0);
    ASSERT_TRUE(GetFileVersionInfoW(Wide(LUMETTA_PATH).c_str(), 0, 100, part.data()));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(part.data(), u"\\", &value, &length));
    EXPECT_FALSE(VerQueryValueW(part.data(), u"\\VarFileInfo\\Translation", &value, &length));
}

TEST(ModuleFiles, FilesWithoutResourcesHaveNoVersion) {
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeW(u"/nonexistent/file.so", nullptr), 0u);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(LoadLibraryW(u"/nonexistent/file.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
