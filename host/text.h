// Text of the command line (UTF-8) as the UTF-16 of the API, and back.
#pragma once

#include <windows.h>

#include <string>

// False for text that is not valid UTF-8.
bool Utf8ToWide(const std::string& text, std::u16string* out);
std::string WideToUtf8(const WCHAR* text);
