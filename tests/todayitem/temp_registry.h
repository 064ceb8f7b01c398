// A registry database of the test's own, in a temporary folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "win32/host_services.h"
#include "windows.h"

class TempRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lumetta_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        Win32LayerSetRegistryPath((folder_ / "registry.sqlite3").c_str());
    }
    void TearDown() override {
        Win32LayerSetRegistryPath(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Writes one value under HKEY_CURRENT_USER "Software\Quenby\Lumetta".
    void SetSettingsValue(const char16_t* name, DWORD type, const void* bytes, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0,
                                  const_cast<LPWSTR>(u""), REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    std::filesystem::path folder_;
};
