#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "support/platform_files.h"

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return wide;
}

}  // namespace

void SetEnvironment(const std::string& name, const std::string& value) {
    // Both the C library's copy (getenv) and the process's (child processes).
    _putenv_s(name.c_str(), value.c_str());
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

void UnsetEnvironment(const std::string& name) {
    _putenv_s(name.c_str(), "");
    SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
}

namespace {

std::int64_t Combined(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

FILETIME Split(std::int64_t time) {
    return {static_cast<DWORD>(time), static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32)};
}

HANDLE OpenForTimes(const std::string& path, DWORD access) {
    return CreateFileW(Wide(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool ReadFileTimes(const std::string& path, FileTimes& times) {
    const HANDLE file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME accessed{};
    FILETIME modified{};
    const bool read = GetFileTime(file, nullptr, &accessed, &modified) != 0;
    CloseHandle(file);
    times.accessed = Combined(accessed);
    times.modified = Combined(modified);
    return read;
}

bool RestoreFileTimes(const std::string& path, const FileTimes& times) {
    const HANDLE file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const FILETIME accessed = Split(times.accessed);
    const FILETIME modified = Split(times.modified);
    const bool restored = SetFileTime(file, nullptr, &accessed, &modified) != 0;
    CloseHandle(file);
    return restored;
}

bool MakeSymbolicLink(const std::string& target, const std::string& path) {
    std::error_code ec;
    const DWORD flags =
        std::filesystem::is_directory(target, ec) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    // Wine's answers success and makes nothing: the link must be there.
    return CreateSymbolicLinkW(Wide(path).c_str(), Wide(target).c_str(),
                               flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 &&
           std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec));
}

bool MakeFifo(const std::string&) {
    return false;
}

void MakeExecutable(const std::string&) {}

bool HasPosixModes() {
    return false;
}

bool HasFileSizeLimit() {
    return false;
}

// Tests check HasFileSizeLimit() first: nothing is limited here.
ScopedFileSizeLimit::ScopedFileSizeLimit(long) {}

ScopedFileSizeLimit::~ScopedFileSizeLimit() = default;
