#include "framework/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

bool ReadSome(int fd, void* data, std::size_t size, std::size_t& got) {
    for (;;) {
        const ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        got = n > 0 ? static_cast<std::size_t>(n) : 0;
        return n >= 0;
    }
}

bool MoveOwnFile(const OwnFolder& from, const OwnFolder& to, const std::string& name) {
    struct stat source {};
    struct stat target {};
    if (!StatOwnEntry(from, name, source) || !S_ISREG(source.st_mode) ||
        (StatOwnEntry(to, name, target) && !S_ISREG(target.st_mode))) {
        return false;
    }
    return renameat(from.Fd(), name.c_str(), to.Fd(), name.c_str()) == 0;
}

bool SyncOwnFile(const OwnFolder& folder, const std::string& name) {
    const int fd = OpenOwnFileForReading(folder, name);
    if (fd < 0) {
        return false;
    }
    const bool synced = fdatasync(fd) == 0;
    return close(fd) == 0 && synced;
}

DurableReplacement::DurableReplacement(const OwnFolder& folder, std::string name,
                                       const char* temporarySuffix, mode_t mode)
    : m_folder(folder), m_name(std::move(name)), m_temporary(m_name + temporarySuffix) {
    Begin(mode);
}

DurableReplacement::DurableReplacement(const std::string& path, const char* temporarySuffix,
                                       mode_t mode) {
    m_folder = OwnFolder::OpenParentOf(path, m_name);
    m_temporary = m_name + temporarySuffix;
    Begin(mode);
}

void DurableReplacement::Begin(mode_t mode) {
    struct stat previous {};
    const bool replaces = StatOwnEntry(m_folder, m_name, previous);
    if (replaces && !S_ISREG(previous.st_mode)) {
        return;
    }
    // A temporary file left by an earlier crash is not written through: the
    // new file is created afresh.
    m_fd = CreateOwnFile(m_folder, m_temporary, mode);
    if (m_fd < 0) {
        return;
    }
    m_ok = !replaces || fchmod(m_fd, previous.st_mode & 07777) == 0;
}

int DurableReplacement::OpenForReading() const {
    return m_fd >= 0 ? OpenOwnFileForReading(m_folder, m_temporary) : -1;
}

DurableReplacement::~DurableReplacement() {
    Abandon();
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
    if (ok && renameat(m_folder.Fd(), m_temporary.c_str(), m_folder.Fd(), m_name.c_str()) != 0) {
        result = Result::NotRenamed;
    }
    if (result != Result::Committed) {
        RemoveOwnFile(m_folder, m_temporary);
        return result;
    }
    // The rename is on disk only once the folder is. Should that sync fail,
    // the new file is in place all the same; nothing can be undone.
    fsync(m_folder.Fd());
    return result;
}

void DurableReplacement::Abandon() {
    if (m_fd < 0) {
        return;
    }
    close(m_fd);
    m_fd = -1;
    RemoveOwnFile(m_folder, m_temporary);
}
