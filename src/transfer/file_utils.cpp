#include "transfer/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/message_box.h"

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
// Large enough for the disk to write efficiently, small enough that little
// is left for the final sync.
constexpr std::int64_t kWritebackStep = 2 << 20;

// A full disk or a failing device; any other error of the in-kernel copy
// means it is not offered between these two files.
bool IsWriteError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EIO;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::int64_t QueryFileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
}

int DeleteAllFiles(const std::string& folder) {
    if (folder.empty()) {
        errno = EINVAL;
        return 0;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return 1;
    }
    const int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        // unlinkat without AT_REMOVEDIR refuses folders and removes a link
        // itself, never what it points at.
        unlinkat(fd, entry->d_name, 0);
    }
    closedir(dir);
    return 1;
}

std::string SystemErrorText() {
    return SystemErrorText(errno);
}

std::string SystemErrorText(int code) {
    char buffer[1024];
    // GNU strerror_r returns the text, which need not be in the buffer.
    const char* message = strerror_r(code, buffer, sizeof buffer);
    return message != nullptr ? std::string(message) : std::string();
}

void MakeDirectoryTree(const std::string& path) {
    // A "/" at index 0 is the root, never a folder to create.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (FileExists(prefix)) {
            continue;
        }
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            ShowMessageBox(SystemErrorText());
            return;
        }
    }
}

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
            for (ssize_t done = 0; done < n;) {
                const ssize_t w =
                    write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    return CopyResult::WriteFailed;
                }
                done += w;
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
