#pragma once
#include <string>
#include <string_view>

namespace velmora {

// Text crossing the window system's API is UTF-16 (the "W" calls), whatever the system's code
// page: terminal text converts through the core's code page 932 table, the core's UI texts
// from UTF-8.

// Code page 932 bytes as UTF-16; a byte sequence that is no code page 932 character becomes
// U+FFFD.
std::wstring Cp932ToWide(std::string_view bytes);
// UTF-16 as code page 932 bytes; a character code page 932 lacks becomes '?'.
std::string WideToCp932(std::wstring_view text);
// The core's UTF-8 texts (menus, dialogs, messages) as UTF-16.
std::wstring Utf8ToWide(std::string_view text);
// UTF-16 as UTF-8 (face names for the core's choice of a Japanese face); half of a pair
// becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

}  // namespace velmora
