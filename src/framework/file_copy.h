#pragma once

#include <cstdint>

enum class CopyResult { Done, ReadFailed, WriteFailed };

// Appends the rest of file `in` to file `out` and adds the bytes to `total`.
// Where the file system can share blocks between files, the rest is cloned
// and nothing is copied; otherwise the kernel copies between the files where
// it can, so the data does not pass through this process; where it cannot
// (a pipe, a file system without the in-kernel copy) the bytes are read and
// written here.
CopyResult AppendFileContents(int in, int out, std::int64_t& total);

// The same for many files into one: once the file system has said that it
// cannot clone or copy in the kernel between these files, it is not asked
// again for every one of them.
class FileAppender {
  public:
    CopyResult Append(int in, int out, std::int64_t& total);
    // The last Append shared the file's blocks instead of copying them.
    bool Cloned() const { return m_cloned; }

  private:
    bool m_clone = true;
    bool m_inKernel = true;
    bool m_cloned = false;
};

// Starts writing a file's data out to disk in the background, so that a
// later fdatasync has little left to wait for. Writing out as the data
// arrives overlaps the disk with the network instead of adding it at the end.
class EarlyWriteback {
  public:
    explicit EarlyWriteback(int fd) : m_fd(fd) {}
    // Call with the file's size after each write.
    void Wrote(std::int64_t size);

  private:
    int m_fd;
    std::int64_t m_started = 0;
};
