#include "framework/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/own_files.h"

namespace {

// Only its owner may open it: another user cannot hold this user's folder.
constexpr mode_t kLockFileMode = 0600;

// Opens the lock file, making it when there is none. O_NONBLOCK: nothing
// waits on a FIFO put at the name.
int OpenLockFile(const OwnFolder& folder, const std::string& name) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    // Another start may make it between the two opens; the next round opens
    // that one.
    for (int round = 0; round < 3; ++round) {
        const int fd = openat(folder.Fd(), name.c_str(), kFlags);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        const int made =
            openat(folder.Fd(), name.c_str(), kFlags | O_CREAT | O_EXCL, kLockFileMode);
        if (made >= 0 || errno != EEXIST) {
            return made;
        }
    }
    return -1;
}

}  // namespace

FolderLock::~FolderLock() {
    Unlock();
}

void FolderLock::Unlock() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

FolderLock::Result FolderLock::Lock(const std::string& folder, const std::string& name) {
    Unlock();
    m_error = 0;
    const OwnFolder held = OwnFolder::Open(folder);
    const int fd = held.IsOpen() ? OpenLockFile(held, name) : -1;
    if (fd < 0) {
        m_error = errno;
        return Result::Failed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = EINVAL;
        close(fd);
        return Result::Failed;
    }
    int locked = 0;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        m_error = errno;
        close(fd);
        return m_error == EWOULDBLOCK ? Result::InUse : Result::Failed;
    }
    m_fd = fd;
    return Result::Locked;
}
