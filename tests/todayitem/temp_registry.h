// The item tests' fixture: a registry database of the test's own in a temporary folder
// (testsupport::TempRegistryTest), and the item's settings values written directly.
#pragma once

#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "windows.h"

class TempRegistryTest : public testsupport::TempRegistryTest {
protected:
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
};
