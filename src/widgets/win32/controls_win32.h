#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Text crosses into the W functions here: the program's strings are UTF-8,
// the window's are UTF-16.
namespace dialog_win32 {

// Bytes that are not UTF-8 become U+FFFD rather than vanishing.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

std::string WindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

}  // namespace dialog_win32
