// Text between the portable code, which speaks UTF-8, and the wide (UTF-16)
// functions of Windows, and the system's own words for an error code.
//
// Depends on: kernel32 (MultiByteToWideChar, WideCharToMultiByte, FormatMessageW).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace veltrane::win32 {

// Bytes that are not UTF-8 become U+FFFD, as Windows converts them.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

// "Access is denied", without the full stop and line end Windows adds;
// "error 1234" when the system has no words for it.
std::string systemErrorText(DWORD error);

}  // namespace veltrane::win32
