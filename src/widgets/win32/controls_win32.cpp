#include "widgets/win32/controls_win32.h"

#include <limits>

namespace dialog_win32 {

namespace {

// The longest text the conversions take (their lengths are ints). Written
// so, as windows.h has a macro named max.
constexpr std::size_t kLongest = (std::numeric_limits<int>::max)();

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty() || text.size() > kLongest) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty() || text.size() > kLongest) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

std::string WindowTextUtf8(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    // The length is an upper bound: the text may have shrunk meanwhile.
    const int copied = GetWindowTextW(window, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return Utf8FromWide(wide);
}

void SetWindowTextUtf8(HWND window, const std::string& text) {
    SetWindowTextW(window, WideFromUtf8(text).c_str());
}

}  // namespace dialog_win32
