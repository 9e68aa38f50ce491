// Conversions between the 8-bit text of the libraries and UTF-16.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>

namespace jxhost {

// Bytes that do not fit the code page come out as the system's replacement.
std::wstring WideFromCodePage(std::string_view text, UINT codePage);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace jxhost
