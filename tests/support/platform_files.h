#pragma once

// What the tests do to files, folders and the environment that the
// platforms do differently. Where this system cannot do it, the function
// says so and the test skips with the reason named here.

#include <cstdint>
#include <filesystem>
#include <string>

// Portable forms of what the tests did with POSIX calls.
inline bool SetFileSize(const std::string& path, std::uintmax_t size) {
    std::error_code ec;
    std::filesystem::resize_file(path, size, ec);
    return !ec;
}
inline bool MakeHardLink(const std::string& existing, const std::string& path) {
    std::error_code ec;
    std::filesystem::create_hard_link(existing, path, ec);
    return !ec;
}
inline bool RemoveFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove(path, ec);
}

void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);

// A file's access and modification times at the system's full precision,
// to be put back after a change: a forged file that looks unchanged.
struct FileTimes {
    std::int64_t accessed = 0;
    std::int64_t modified = 0;
};
bool ReadFileTimes(const std::string& path, FileTimes& times);
bool RestoreFileTimes(const std::string& path, const FileTimes& times);

// A symbolic link at `path` to `target`; false where none can be made.
bool MakeSymbolicLink(const std::string& target, const std::string& path);
inline constexpr char kNoSymbolicLinks[] =
    "no symbolic link can be made here (Wine makes no reparse points)";

// A FIFO at `path`; false where none can be made.
bool MakeFifo(const std::string& path);
inline constexpr char kNoFifos[] = "no FIFO can be made here (Wine makes none)";

// Lets the file be run as a program, as a download is made runnable: its
// mode on POSIX systems; Windows runs a file by its name.
void MakeExecutable(const std::string& path);

// Whether a file's mode bits keep a process out (and the umask and other
// users with them); not so on Windows.
bool HasPosixModes();
inline constexpr char kNoPosixModes[] = "Windows has no POSIX modes, owners or umask";

// Whether a per-process file size limit can stand in for a full disk.
bool HasFileSizeLimit();
inline constexpr char kNoFileSizeLimit[] =
    "Windows has no per-process file size limit to stand in for a full disk";

// Makes writes past `bytes` in one file fail (EFBIG) while it lives, the way
// a full disk fails them; where HasFileSizeLimit().
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(long bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  private:
    unsigned long m_previous = 0;
};

// A loopback port on which nobody listens.
int UnusedLoopbackPort();
