#include "framework/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const std::string& data) {
    return WriteAll(fd, data.data(), data.size());
}

DurableReplacement::DurableReplacement(std::string path, const char* temporarySuffix, mode_t mode)
    : m_path(std::move(path)), m_temporary(m_path + temporarySuffix) {
    m_folder = open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        return;
    }
    const std::string name = NameOf(m_temporary);
    // A temporary file left by an earlier crash, or anything else of that
    // name, is not written through: the new file is created afresh.
    unlinkat(m_folder, name.c_str(), 0);
    m_fd = openat(m_folder, name.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (m_fd < 0) {
        return;
    }
    m_ok = true;
    struct stat previous {};
    if (fstatat(m_folder, NameOf(m_path).c_str(), &previous, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(previous.st_mode)) {
        m_ok = fchmod(m_fd, previous.st_mode & 07777) == 0;
    }
}

DurableReplacement::~DurableReplacement() {
    Abandon();
    if (m_folder >= 0) {
        close(m_folder);
    }
}

bool DurableReplacement::Write(const std::string& data) {
    m_ok = m_ok && WriteAll(m_fd, data);
    return m_ok;
}

bool DurableReplacement::SetMode(mode_t mode) {
    m_ok = m_ok && fchmod(m_fd, mode) == 0;
    return m_ok;
}

DurableReplacement::Result DurableReplacement::Commit() {
    if (m_fd < 0) {
        return Result::NotWritten;
    }
    bool ok = m_ok && fdatasync(m_fd) == 0;
    ok = close(m_fd) == 0 && ok;
    m_fd = -1;
    Result result = ok ? Result::Committed : Result::NotWritten;
    if (ok &&
        renameat(m_folder, NameOf(m_temporary).c_str(), m_folder, NameOf(m_path).c_str()) != 0) {
        result = Result::NotRenamed;
    }
    if (result != Result::Committed) {
        unlinkat(m_folder, NameOf(m_temporary).c_str(), 0);
        return result;
    }
    // The rename is on disk only once the folder is. Should that sync fail,
    // the new file is in place all the same; nothing can be undone.
    fsync(m_folder);
    return result;
}

void DurableReplacement::Abandon() {
    if (m_fd < 0) {
        return;
    }
    close(m_fd);
    m_fd = -1;
    unlinkat(m_folder, NameOf(m_temporary).c_str(), 0);
}
