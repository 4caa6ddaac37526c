#pragma once

#include <cstdint>
#include <string>

enum class CopyResult { Done, ReadFailed, WriteFailed };

// Appends the rest of file `in` to file `out` and adds the bytes to `total`.
// Where the file system can share blocks between files, the rest is cloned
// and nothing is copied. On a network file system the kernel asks the server
// to copy (the data does not cross the network twice). Elsewhere the bytes are
// read and written here: on a local disk the kernel's own copy goes page by
// page and, with the writeback started as the data is written, took twice as
// long as reading and writing a MiB at a time.
CopyResult AppendFileContents(int in, int out, std::int64_t& total);

// Where the kernel's copy between files (copy_file_range) is used.
enum class InKernelCopy { WhereTheServerCopies, Always };

// The same for many files into one: once the file system has said that it
// cannot clone or copy in the kernel between these files, it is not asked
// again for every one of them.
class FileAppender {
  public:
    explicit FileAppender(InKernelCopy inKernel = InKernelCopy::WhereTheServerCopies)
        : m_inKernelCopy(inKernel) {}
    CopyResult Append(int in, int out, std::int64_t& total);
    // The last Append shared the file's blocks instead of copying them.
    bool Cloned() const { return m_cloned; }

  private:
    InKernelCopy m_inKernelCopy;
    bool m_clone = true;
    // Decided at the first Append, from the file system of its output.
    bool m_decided = false;
    bool m_inKernel = false;
    bool m_cloned = false;
    std::string m_buffer;  // for reading and writing here, one for all files
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
