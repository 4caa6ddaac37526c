#include <sys/types.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "framework/file_system.h"
#include "framework/native_file_posix.h"

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
// Large enough for the disk to write efficiently, small enough that little
// is left for the final sync.
constexpr std::int64_t kWritebackStep = 2 << 20;

// A full disk. An input/output error of the in-kernel copy may be either
// side's; the read and write path then tells which. Any other error means
// the copy is not offered between these two files.
bool IsWriteError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// Shares the rest of `in`'s blocks with `out` at its current end, where the
// file system can (btrfs, XFS with reflink, bcachefs): nothing is copied at
// all. False, with nothing done, where it cannot, also when the offsets are
// not on its block boundaries.
// `offered` turns false when the file system has no clones at all.
bool CloneRest(int in, int out, std::int64_t& total, bool& offered) {
    struct stat st {};
    const off_t from = lseek(in, 0, SEEK_CUR);
    const off_t to = lseek(out, 0, SEEK_CUR);
    if (from < 0 || to < 0 || fstat(in, &st) != 0 || st.st_size <= from) {
        return false;
    }
    // A length of 0 clones to the end of the source, which may end off a
    // block boundary.
    const file_clone_range range{in, static_cast<__u64>(from), 0, static_cast<__u64>(to)};
    if (ioctl(out, FICLONERANGE, &range) != 0) {
        // Misaligned offsets (EINVAL) may suit the next file; these never do.
        offered = errno != EOPNOTSUPP && errno != ENOTTY && errno != EXDEV;
        return false;
    }
    const off_t length = st.st_size - from;
    lseek(in, st.st_size, SEEK_SET);
    lseek(out, to + length, SEEK_SET);
    total += length;
    return true;
}

// File systems whose copy_file_range has the server copy the data.
bool ServerCopies(int fd) {
    constexpr long kNfs = 0x6969;
    constexpr long kCifs = 0xFF534D42;
    constexpr long kSmb2 = 0xFE534D42;
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0) {
        return false;
    }
    const long type = static_cast<long>(fs.f_type);
    return type == kNfs || type == kCifs || type == kSmb2;
}

}  // namespace

Outcome AppendFileContents(const FileHandle& in, const FileHandle& out, std::int64_t& total) {
    return FileAppender().Append(in, out, total);
}

Outcome FileAppender::Append(const FileHandle& inFile, const FileHandle& outFile,
                             std::int64_t& total) {
    const int in = NativeFile::Fd(inFile);
    const int out = NativeFile::Fd(outFile);
    m_cloned = m_clone && CloneRest(in, out, total, m_clone);
    if (m_cloned) {
        return {};
    }
    if (!m_decided) {
        m_inKernel = m_inKernelCopy == InKernelCopy::Always || ServerCopies(out);
        m_decided = true;
    }
    bool& inKernel = m_inKernel;
    std::string& buffer = m_buffer;
    if (!inKernel) {
        buffer.resize(kCopyChunk);
    }
    for (;;) {
        ssize_t n = 0;
        if (inKernel) {
            n = copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && IsWriteError(errno)) {
                return Failure::WithSystemError(FailureKind::FailedToWriteFile, errno);
            }
            if (n < 0) {
                inKernel = false;
                buffer.resize(kCopyChunk);
                continue;
            }
        } else {
            n = read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return Failure::WithSystemError(FailureKind::CannotOpenInputFile, errno);
            }
            if (!WriteAll(outFile, buffer.data(), static_cast<std::size_t>(n))) {
                return Failure::WithSystemError(FailureKind::FailedToWriteFile, errno);
            }
        }
        if (n == 0) {
            return {};
        }
        total += n;
    }
}

void EarlyWriteback::Wrote(std::int64_t size) {
    if (m_file != nullptr && m_file->IsOpen() && size - m_started >= kWritebackStep) {
        sync_file_range(NativeFile::Fd(*m_file), m_started, size - m_started,
                        SYNC_FILE_RANGE_WRITE);
        m_started = size;
    }
}
