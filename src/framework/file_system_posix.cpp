// The file system seam on POSIX: descriptors, the openat family through the
// held folders, and Linux's /proc for the program's own path and for naming
// an open file again.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "framework/file_system.h"
#include "framework/native_file_posix.h"
#include "framework/text_mode.h"

const char kPathSeparator[] = "/";
const char kLineEnd[] = "\n";
const char kExecutableSuffix[] = "";

namespace {

int Fd(const FileHandle& file) {
    return NativeFile::Fd(file);
}

int FolderFd(const OwnFolder& folder) {
    return folder.IsOpen() ? Fd(folder.Handle()) : -1;
}

// Every open: no descriptor passes to a started program, no link at the
// name is followed, and nothing waits on a FIFO put there.
constexpr int kOwnFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

mode_t ModeFor(NewFile access) {
    return access == NewFile::Private ? 0600 : 0666;
}

void Fill(const struct stat& st, EntryInfo& info) {
    info.kind = S_ISREG(st.st_mode)   ? EntryKind::File
                : S_ISDIR(st.st_mode) ? EntryKind::Folder
                : S_ISLNK(st.st_mode) ? EntryKind::Link
                                      : EntryKind::Other;
    info.size = static_cast<std::int64_t>(st.st_size);
    info.links = static_cast<std::uint64_t>(st.st_nlink);
    info.identity.device = static_cast<std::uint64_t>(st.st_dev);
    info.identity.file = static_cast<std::uint64_t>(st.st_ino);
    info.identity.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    info.onlyUserWrites = st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The descriptor when it is a regular file; otherwise it is closed.
FileHandle RegularOnly(int fd) {
    FileHandle file = NativeFile::Wrap(fd);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        file.Close();
        errno = EINVAL;
    }
    return file;
}

template <typename Call>
auto Retried(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

}  // namespace

bool FileHandle::Close() {
    if (m_native == kClosed) {
        return true;
    }
    const int fd = static_cast<int>(m_native);
    m_native = kClosed;
    // Retrying a close after EINTR would close a descriptor reused since.
    return close(fd) == 0 || errno == EINTR;
}

OwnFolder OwnFolder::Open(const std::string& path) {
    // An empty path is the root, as "" + "/" + name says.
    return OwnFolder(NativeFile::Wrap(open(path.empty() ? "/" : path.c_str(),
                                           O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                     path);
}

OwnFolder OwnFolder::OpenParentOf(const std::string& path, std::string& name) {
    const std::size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (slash == std::string::npos) {
        return OwnFolder(NativeFile::Wrap(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), ".");
    }
    return Open(path.substr(0, slash));
}

OwnFolder OwnFolder::OpenBeyondOthersReach(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        errno = EINVAL;
        return {};
    }
    OwnFolder folder(NativeFile::Wrap(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), "");
    struct stat st {};
    if (!folder.IsOpen() || fstat(FolderFd(folder), &st) != 0) {
        return {};
    }
    for (std::size_t begin = 1; begin <= path.size();) {
        const std::size_t end = std::min(path.find('/', begin), path.size());
        const std::string name = path.substr(begin, end - begin);
        begin = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        // Whoever may write to a folder can put anything at its names, except
        // in a sticky one, where only the owner of an entry may move it.
        const bool othersMayWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        const bool trustedOwner = st.st_uid == 0 || st.st_uid == geteuid();
        if (!trustedOwner || (othersMayWrite && (st.st_mode & S_ISVTX) == 0) || name == "..") {
            errno = EACCES;
            return {};
        }
        Result<OwnFolder> next = folder.Subfolder(name, false);
        if (!next) {
            errno = next.Error().systemError;
            return {};
        }
        folder = std::move(*next);
        if (fstat(FolderFd(folder), &st) != 0) {
            return {};
        }
    }
    if ((st.st_uid != 0 && st.st_uid != geteuid()) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        errno = EACCES;
        return {};
    }
    // Named by the path as it was given, not as rebuilt from its pieces.
    folder.m_path = path;
    return folder;
}

Result<OwnFolder> OwnFolder::Subfolder(const std::string& name, bool create, NewFile access) const {
    const int parent = FolderFd(*this);
    const mode_t mode = access == NewFile::Private ? 0700 : 0777;
    if (create && mkdirat(parent, name.c_str(), mode) != 0 && errno != EEXIST) {
        return Failure::OfSystem(errno);
    }
    const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return NotOpened(errno, errno == ELOOP || errno == ENOTDIR, PathOf(name));
    }
    return OwnFolder(NativeFile::Wrap(fd), PathOf(name));
}

bool StatOwnEntry(const OwnFolder& folder, const std::string& name, EntryInfo& info) {
    struct stat st {};
    if (fstatat(FolderFd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    Fill(st, info);
    return true;
}

bool StatFile(const FileHandle& file, EntryInfo& info) {
    struct stat st {};
    if (fstat(Fd(file), &st) != 0) {
        return false;
    }
    Fill(st, info);
    return true;
}

bool StatPath(const std::string& path, EntryInfo& info) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        return false;
    }
    Fill(st, info);
    return true;
}

FileHandle CreateOwnFile(const OwnFolder& folder, const std::string& name, NewFile access) {
    const int parent = FolderFd(folder);
    struct stat st {};
    if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
            errno = EEXIST;
            return {};
        }
        if (unlinkat(parent, name.c_str(), 0) != 0 && errno != ENOENT) {
            return {};
        }
    }
    // Exclusive: whatever appeared at the name since, it is not this file.
    return NativeFile::Wrap(
        openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOwnFlags, ModeFor(access)));
}

FileHandle OpenOwnFileForAppending(const OwnFolder& folder, const std::string& name,
                                   std::int64_t size, LongerFile longer) {
    const bool cutLonger = longer == LongerFile::Cut;
    FileHandle file =
        NativeFile::Wrap(openat(FolderFd(folder), name.c_str(), O_WRONLY | kOwnFlags));
    if (!file.IsOpen()) {
        return file;
    }
    struct stat st {};
    const bool fits = fstat(Fd(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                      (cutLonger ? st.st_size >= size : st.st_size == size);
    if (!fits || (st.st_size > size && ftruncate(Fd(file), size) != 0) ||
        lseek(Fd(file), size, SEEK_SET) != size) {
        file.Close();
        errno = EINVAL;
    }
    return file;
}

FileHandle OpenOwnFileForChanging(const OwnFolder& folder, const std::string& name) {
    return RegularOnly(openat(FolderFd(folder), name.c_str(), O_WRONLY | kOwnFlags));
}

FileHandle OpenOwnFileForReading(const OwnFolder& folder, const std::string& name) {
    return RegularOnly(openat(FolderFd(folder), name.c_str(), O_RDONLY | kOwnFlags));
}

Result<FileHandle> OpenOrCreateOwnFile(const OwnFolder& folder, const std::string& name,
                                       NewFile access) {
    const int parent = FolderFd(folder);
    // Another program may make it between the two opens; the next round
    // opens that one.
    for (int round = 0; round < 3; ++round) {
        int fd = openat(parent, name.c_str(), O_RDONLY | kOwnFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = openat(parent, name.c_str(), O_RDONLY | O_CREAT | O_EXCL | kOwnFlags,
                        ModeFor(access));
            if (fd < 0 && errno == EEXIST) {
                continue;
            }
        }
        FileHandle file = RegularOnly(fd);
        if (!file.IsOpen()) {
            return Failure::OfSystem(errno);
        }
        return file;
    }
    return Failure::OfSystem(EEXIST);
}

Result<FileHandle> OpenFileForReading(const std::string& path) {
    FileHandle file = NativeFile::Wrap(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        Failure failure = Failure::WithSystemError(FailureKind::CannotOpenInputFile, errno);
        failure.path = path;
        return failure;
    }
    return file;
}

bool ReadSome(const FileHandle& file, void* data, std::size_t size, std::size_t& got) {
    const ssize_t n = Retried([&] { return read(Fd(file), data, size); });
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n >= 0;
}

bool ReadAt(const FileHandle& file, std::int64_t offset, void* data, std::size_t size,
            std::size_t& got) {
    const ssize_t n =
        Retried([&] { return pread(Fd(file), data, size, static_cast<off_t>(offset)); });
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n >= 0;
}

bool WriteAll(const FileHandle& file, const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = Retried([&] { return write(Fd(file), p, length); });
        if (n <= 0) {
            return false;
        }
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(const FileHandle& file, const std::string& data) {
    return WriteAll(file, data.data(), data.size());
}

bool WriteAt(const FileHandle& file, std::int64_t offset, const void* data, std::size_t length) {
    const ssize_t n =
        Retried([&] { return pwrite(Fd(file), data, length, static_cast<off_t>(offset)); });
    return n == static_cast<ssize_t>(length);
}

bool SyncData(const FileHandle& file) {
    return Retried([&] { return fdatasync(Fd(file)); }) == 0;
}

bool SyncFolder(const OwnFolder& folder) {
    return Retried([&] { return fsync(FolderFd(folder)); }) == 0;
}

bool SetExecutable(const FileHandle& file) {
    struct stat st {};
    // Execute for whoever may read it.
    return fstat(Fd(file), &st) == 0 &&
           fchmod(Fd(file), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2)) == 0;
}

bool SetPermissions(const FileHandle& file, std::uint32_t permissions) {
    return fchmod(Fd(file), static_cast<mode_t>(permissions & 07777)) == 0;
}

Outcome TryLockFile(const FileHandle& file) {
    if (Retried([&] { return flock(Fd(file), LOCK_EX | LOCK_NB); }) == 0) {
        return {};
    }
    const int error = errno;
    Failure failure(error == EWOULDBLOCK ? FailureKind::FolderInUse : FailureKind::System);
    failure.systemError = error;
    return failure;
}

bool RemoveOwnFile(const OwnFolder& folder, const std::string& name) {
    return unlinkat(FolderFd(folder), name.c_str(), 0) == 0;
}

bool RenameOwnFile(const OwnFolder& fromFolder, const std::string& from, const OwnFolder& toFolder,
                   const std::string& to) {
    return renameat(FolderFd(fromFolder), from.c_str(), FolderFd(toFolder), to.c_str()) == 0;
}

bool ForEachEntry(const OwnFolder& folder, const std::function<bool(const std::string&)>& visit) {
    // The folder's own descriptor stays with the folder; the listing reads a
    // copy of it.
    const int fd = FolderFd(folder) >= 0 ? dup(FolderFd(folder)) : -1;
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    rewinddir(dir);
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !visit(name)) {
            break;
        }
    }
    closedir(dir);
    return true;
}

Outcome MakeFolder(const std::string& path, NewFile access) {
    if (mkdir(path.c_str(), access == NewFile::Private ? 0700 : 0777) == 0) {
        return {};
    }
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return {};
    }
    return Failure::OfSystem(error);
}

bool LinkOwnFile(const FileHandle& file, const OwnFolder& folder, const std::string& name) {
    // linkat() of a descriptor itself (AT_EMPTY_PATH) needs a privilege;
    // its name in /proc does not, and is followed to the open file, not to
    // whatever its path leads to now.
    const std::string self = "/proc/self/fd/" + std::to_string(Fd(file));
    return linkat(AT_FDCWD, self.c_str(), FolderFd(folder), name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

int LastSystemError() {
    return errno;
}

std::string SystemErrorText(int code) {
    char buffer[1024];
    // GNU strerror_r returns the text, which need not be in the buffer.
    const char* message = strerror_r(code, buffer, sizeof buffer);
    return message != nullptr ? std::string(message) : std::string();
}

std::string SystemErrorText() {
    return SystemErrorText(errno);
}
