#include "framework/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "framework/durable_file.h"

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

}  // namespace

CopyResult AppendFileContents(int in, int out, std::int64_t& total) {
    bool inKernel = true;
    std::string buffer;
    for (;;) {
        ssize_t n = 0;
        if (inKernel) {
            n = copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && IsWriteError(errno)) {
                return CopyResult::WriteFailed;
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
                return CopyResult::ReadFailed;
            }
            if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
                return CopyResult::WriteFailed;
            }
        }
        if (n == 0) {
            return CopyResult::Done;
        }
        total += n;
    }
}

void EarlyWriteback::Wrote(std::int64_t size) {
    if (size - m_started >= kWritebackStep) {
        sync_file_range(m_fd, m_started, size - m_started, SYNC_FILE_RANGE_WRITE);
        m_started = size;
    }
}
