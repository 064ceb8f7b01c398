// Conversion of the UTF-16 text at the API boundary to the UTF-8 that Linux calls take, and
// of Windows paths to Linux paths.
#pragma once

#include <string>

#include "win32/base.h"

// UTF-16 (NUL-terminated) to UTF-8. False for an unpaired surrogate.
bool Utf16ToUtf8(LPCWSTR text, std::string* out);
// UTF-8 to UTF-16 (no terminator added). False for malformed UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);
// A Windows path as a Linux path: UTF-8, with every backslash a slash (Windows takes both as
// separators, and paths written for it use the backslash). False when not convertible.
bool WindowsPathToLinux(LPCWSTR path, std::string* out);
