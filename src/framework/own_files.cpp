#include "framework/own_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

struct OwnFolder::Handle {
    explicit Handle(int descriptor) : fd(descriptor) {}
    ~Handle() { close(fd); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int fd;
};

OwnFolder::OwnFolder(int fd, std::string path)
    : m_handle(fd >= 0 ? std::make_shared<const Handle>(fd) : nullptr), m_path(std::move(path)) {}

int OwnFolder::Fd() const {
    return m_handle != nullptr ? m_handle->fd : -1;
}

OwnFolder OwnFolder::Open(const std::string& path) {
    // An empty path is the root, as "" + "/" + name says.
    return OwnFolder(open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                     path);
}

OwnFolder OwnFolder::OpenParentOf(const std::string& path, std::string& name) {
    const std::size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (slash == std::string::npos) {
        return OwnFolder(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), ".");
    }
    return Open(path.substr(0, slash));
}

OwnFolder OwnFolder::OpenSubfolder(const std::string& name, bool create, int& error) const {
    error = 0;
    if (create && mkdirat(Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = errno;
        return {};
    }
    const int fd = openat(Fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return {};
    }
    return OwnFolder(fd, PathOf(name));
}

int CreateOwnFile(const OwnFolder& folder, const std::string& name, mode_t mode) {
    struct stat st {};
    if (StatOwnEntry(folder, name, st)) {
        if (!S_ISREG(st.st_mode)) {
            errno = EEXIST;
            return -1;
        }
        if (unlinkat(folder.Fd(), name.c_str(), 0) != 0 && errno != ENOENT) {
            return -1;
        }
    }
    // Exclusive: whatever appeared at the name since, it is not this file.
    return openat(folder.Fd(), name.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
}

int OpenOwnFileForAppending(const OwnFolder& folder, const std::string& name, off_t size) {
    const int fd =
        openat(folder.Fd(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_size != size ||
        lseek(fd, size, SEEK_SET) != size) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int OpenOwnFileForReading(const OwnFolder& folder, const std::string& name) {
    const int fd =
        openat(folder.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool StatOwnEntry(const OwnFolder& folder, const std::string& name, struct stat& st) {
    return fstatat(folder.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool RemoveOwnFile(const OwnFolder& folder, const std::string& name) {
    return unlinkat(folder.Fd(), name.c_str(), 0) == 0;
}

bool ReadOwnFile(const OwnFolder& folder, const std::string& name, std::size_t maxBytes,
                 std::string& content) {
    const int fd = OpenOwnFileForReading(folder, name);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) <= maxBytes;
    content.assign(ok ? static_cast<std::size_t>(st.st_size) : 0, '\0');
    for (std::size_t done = 0; ok && done < content.size();) {
        const ssize_t n = read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    close(fd);
    return ok;
}

std::string PathThroughOwnFolder(const OwnFolder& folder, const std::string& name) {
    // Not /proc/self: the program that opens the path is another process.
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(folder.Fd()) + "/" + name;
}

bool IsSameOwnEntry(const OwnFolder& folder, const std::string& name, const std::string& path) {
    struct stat own {};
    struct stat reached {};
    return folder.IsOpen() && StatOwnEntry(folder, name, own) &&
           stat(path.c_str(), &reached) == 0 && own.st_dev == reached.st_dev &&
           own.st_ino == reached.st_ino;
}
