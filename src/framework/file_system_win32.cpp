// The file system seam on Windows: handles, the W calls with UTF-16 made at
// this seam, and ntdll's NtCreateFile for the files in a held folder, which
// Win32 can reach only by a path (RootDirectory is the openat of NT).

#include <windows.h>
// After windows.h, which it needs.
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <vector>

#include "framework/file_access_win32.h"
#include "framework/file_system.h"
#include "framework/native_file_win32.h"
#include "framework/text_mode.h"

const char kPathSeparator[] = "\\";
const char kLineEnd[] = "\r\n";
const char kExecutableSuffix[] = ".exe";

// Not declared by MinGW-w64's winternl.h.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event,
                                               PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                                               PIO_STATUS_BLOCK IoStatusBlock,
                                               PVOID FileInformation, ULONG Length,
                                               FILE_INFORMATION_CLASS FileInformationClass,
                                               BOOLEAN ReturnSingleEntry, PUNICODE_STRING FileName,
                                               BOOLEAN RestartScan);

namespace {

// The Ex classes of NtSetInformationFile that move and remove an entry, not
// in MinGW-w64's winternl.h: they take POSIX semantics (Windows 10 1709 and
// later, NTFS); elsewhere they fail and the plain classes follow. Called in
// ntdll, not through SetFileInformationByHandle: Wine's resolves a rename's
// name against the current folder and ignores RootDirectory.
constexpr auto kFileDispositionInformationEx = static_cast<FILE_INFORMATION_CLASS>(64);
constexpr auto kFileRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;
constexpr ULONG kRenameIgnoreReadOnly = 0x40;

constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);

// Files are shared as on POSIX: others may read, write, rename and delete
// them while the program has them open. Held folders leave out delete, so
// that nobody renames or replaces them while they are held.
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kShareFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Narrow(const wchar_t* text, std::size_t size) {
    if (size == 0) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

HANDLE Native(const FileHandle& file) {
    return NativeFile::Handle(file);
}

HANDLE FolderHandle(const OwnFolder& folder) {
    return folder.IsOpen() ? Native(folder.Handle()) : INVALID_HANDLE_VALUE;
}

// Opens `name` in the held folder. No link (reparse point) at the name is
// followed; handles are synchronous, so that ReadFile and WriteFile keep a
// position as read and write do.
FileHandle OpenIn(const OwnFolder& folder, const std::string& name, ACCESS_MASK access,
                  ULONG disposition, ULONG options, ULONG share = kShareAll,
                  PSECURITY_DESCRIPTOR security = nullptr) {
    if (!folder.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return {};
    }
    std::wstring wide = Wide(name);
    if (wide.empty() || wide.size() * sizeof(wchar_t) > USHRT_MAX) {
        SetLastError(ERROR_INVALID_NAME);
        return {};
    }
    UNICODE_STRING objectName;
    objectName.Buffer = wide.data();
    objectName.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    // Case-insensitive as CreateFileW is.
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, FolderHandle(folder),
                               security);
    IO_STATUS_BLOCK status{};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS result = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(result)) {
        SetLastError(RtlNtStatusToDosError(result));
        return {};
    }
    return NativeFile::Wrap(handle);
}

std::int64_t Combined(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

EntryKind KindOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::Link
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::Folder
                                                            : EntryKind::File;
}

bool Fill(HANDLE handle, EntryInfo& info) {
    BY_HANDLE_FILE_INFORMATION file{};
    if (!GetFileInformationByHandle(handle, &file)) {
        return false;
    }
    info.kind = KindOf(file.dwFileAttributes);
    // A console, pipe or device opened by its path is no file on disk.
    if (info.kind == EntryKind::File && GetFileType(handle) != FILE_TYPE_DISK) {
        info.kind = EntryKind::Other;
    }
    info.size = Combined(file.nFileSizeHigh, file.nFileSizeLow);
    info.links = file.nNumberOfLinks;
    info.identity.device = file.dwVolumeSerialNumber;
    info.identity.file =
        static_cast<std::uint64_t>(Combined(file.nFileIndexHigh, file.nFileIndexLow));
    // 100 ns steps since 1601.
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    info.identity.modifiedNs =
        (Combined(file.ftLastWriteTime.dwHighDateTime, file.ftLastWriteTime.dwLowDateTime) -
         kUnixEpoch) *
        100;
    info.permissions = file.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    return true;
}

// The handle when it is a regular file; otherwise it is closed.
FileHandle RegularOnly(FileHandle file) {
    EntryInfo info;
    if (file.IsOpen() && (!Fill(Native(file), info) || info.kind != EntryKind::File)) {
        file.Close();
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return file;
}

bool SetInformation(HANDLE handle, void* information, std::size_t size,
                    FILE_INFORMATION_CLASS kind) {
    IO_STATUS_BLOCK status{};
    const NTSTATUS result =
        NtSetInformationFile(handle, &status, information, static_cast<ULONG>(size), kind);
    if (!NT_SUCCESS(result)) {
        SetLastError(RtlNtStatusToDosError(result));
        return false;
    }
    return true;
}

// Removes the entry behind a handle opened with DELETE. With POSIX
// semantics the name goes at once, even while another program has the file
// open, so that a file can be created afresh at it.
bool DeleteByHandle(HANDLE handle) {
    ULONG flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
    if (SetInformation(handle, &flags, sizeof flags, kFileDispositionInformationEx)) {
        return true;
    }
    BOOLEAN deleteFile = TRUE;
    return SetInformation(handle, &deleteFile, sizeof deleteFile, FileDispositionInformation);
}

// Null for a shared file or folder: it takes what its folder passes on.
SecurityDescriptor SecurityFor(NewFile access, PrivateKind kind) {
    return access == NewFile::Private ? PrivateSecurity(kind) : nullptr;
}

// Fill and who may change the entry: an access list read for the calls
// that report it, not for every open.
bool FillWithAccess(HANDLE handle, EntryInfo& info) {
    if (!Fill(handle, info)) {
        return false;
    }
    info.onlyUserWrites = OnlyTrustedMay(handle, kChangeRights);
    return true;
}

// For a stat: READ_CONTROL too, for the access list, unless the entry's
// list withholds it (then it is not the user's alone anyway).
FileHandle OpenToStat(const OwnFolder& folder, const std::string& name) {
    FileHandle entry = OpenIn(folder, name, FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_OPEN, 0);
    if (!entry.IsOpen() && GetLastError() == ERROR_ACCESS_DENIED) {
        entry = OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
    }
    return entry;
}

bool IsFolderHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION file{};
    return GetFileInformationByHandle(handle, &file) &&
           (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool FileHandle::Close() {
    if (m_native == kClosed) {
        return true;
    }
    const HANDLE handle = NativeFile::Handle(*this);
    m_native = kClosed;
    return CloseHandle(handle) != FALSE;
}

OwnFolder OwnFolder::Open(const std::string& path) {
    // Links along the path, the last one too, are followed: the user chose
    // this folder. An empty path is the root of the current drive, as
    // "" + "\" + name says.
    const std::wstring wide = Wide(path.empty() ? std::string("\\") : path);
    FileHandle handle =
        NativeFile::Wrap(CreateFileW(wide.c_str(), kFolderAccess, kShareFolder, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.IsOpen() && !IsFolderHandle(Native(handle))) {
        handle.Close();
        SetLastError(ERROR_DIRECTORY);
    }
    return OwnFolder(std::move(handle), path);
}

OwnFolder OwnFolder::OpenParentOf(const std::string& path, std::string& name) {
    // Windows takes either separator.
    const std::size_t slash = path.find_last_of("\\/");
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (slash == std::string::npos) {
        return Open(".");
    }
    // "C:\name": the parent is the drive's root, not the drive's current
    // folder that "C:" would be.
    if (slash == 2 && path[1] == ':') {
        return Open(path.substr(0, 3));
    }
    return Open(path.substr(0, slash));
}

OwnFolder OwnFolder::OpenBeyondOthersReach(const std::string& path) {
    // "C:\..." (or "C:/..."); a share's path is never beyond others' reach.
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() < 3 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' ||
        !separator(path[2])) {
        SetLastError(ERROR_BAD_PATHNAME);
        return {};
    }
    const std::wstring root = Wide(path.substr(0, 2)) + L"\\";
    OwnFolder folder(
        NativeFile::Wrap(CreateFileW(root.c_str(), kFolderAccess | READ_CONTROL, kShareFolder,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
        path.substr(0, 2));
    if (!folder.IsOpen()) {
        return {};
    }
    // Whoever may delete an entry, or delete in its folder, can put another
    // one at its name, and whoever may rewrite an access list can give
    // themselves that. Adding entries to a folder, as C:\ lets every user
    // do, moves none that is there.
    constexpr ACCESS_MASK kRewriteList = WRITE_DAC | WRITE_OWNER;
    for (std::size_t begin = 3; begin <= path.size();) {
        std::size_t end = begin;
        while (end < path.size() && !separator(path[end])) {
            ++end;
        }
        const std::string name = path.substr(begin, end - begin);
        begin = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == ".." ||
            !OnlyTrustedMay(FolderHandle(folder), FILE_DELETE_CHILD | kRewriteList)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return {};
        }
        Result<OwnFolder> next = folder.Subfolder(name, false);
        if (!next) {
            SetLastError(static_cast<DWORD>(next.Error().systemError));
            return {};
        }
        folder = std::move(*next);
        if (!OnlyTrustedMay(FolderHandle(folder), DELETE | kRewriteList)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return {};
        }
    }
    if (!OnlyTrustedMay(FolderHandle(folder), kChangeRights)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    // Named by the path as it was given, not as rebuilt from its pieces.
    folder.m_path = path;
    return folder;
}

Result<OwnFolder> OwnFolder::Subfolder(const std::string& name, bool create, NewFile access) const {
    const SecurityDescriptor security =
        SecurityFor(create ? access : NewFile::Shared, PrivateKind::Folder);
    if (create && access == NewFile::Private && security == nullptr) {
        return Failure::OfSystem(static_cast<int>(GetLastError()));
    }
    // The descriptor applies only to a folder made here. READ_CONTROL lets
    // its access list be read through the handle.
    FileHandle handle =
        OpenIn(*this, name, kFolderAccess | READ_CONTROL, create ? FILE_OPEN_IF : FILE_OPEN,
               FILE_DIRECTORY_FILE, kShareFolder, security.get());
    if (!handle.IsOpen()) {
        const DWORD error = GetLastError();
        return NotOpened(static_cast<int>(error), error == ERROR_DIRECTORY, PathOf(name));
    }
    BY_HANDLE_FILE_INFORMATION file{};
    if (!GetFileInformationByHandle(Native(handle), &file)) {
        return Failure::OfSystem(static_cast<int>(GetLastError()));
    }
    // A junction or a link to a folder opens as the link itself.
    if ((file.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return NotOpened(ERROR_CANT_ACCESS_FILE, true, PathOf(name));
    }
    return OwnFolder(std::move(handle), PathOf(name));
}

bool StatOwnEntry(const OwnFolder& folder, const std::string& name, EntryInfo& info) {
    const FileHandle entry = OpenToStat(folder, name);
    return entry.IsOpen() && FillWithAccess(Native(entry), info);
}

bool StatFile(const FileHandle& file, EntryInfo& info) {
    return FillWithAccess(Native(file), info);
}

bool StatPath(const std::string& path, EntryInfo& info) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::wstring wide = Wide(path);
    const auto open = [&](ACCESS_MASK access) {
        return NativeFile::Wrap(CreateFileW(wide.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    FileHandle entry = open(FILE_READ_ATTRIBUTES | READ_CONTROL);
    if (!entry.IsOpen() && GetLastError() == ERROR_ACCESS_DENIED) {
        entry = open(FILE_READ_ATTRIBUTES);
    }
    return entry.IsOpen() && FillWithAccess(Native(entry), info);
}

FileHandle CreateOwnFile(const OwnFolder& folder, const std::string& name, NewFile access) {
    {
        const FileHandle old = OpenIn(folder, name, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
        EntryInfo info;
        if (old.IsOpen()) {
            if (!Fill(Native(old), info) || info.kind != EntryKind::File) {
                SetLastError(ERROR_FILE_EXISTS);
                return {};
            }
            if (!DeleteByHandle(Native(old))) {
                return {};
            }
        }
    }
    const SecurityDescriptor security = SecurityFor(access, PrivateKind::File);
    if (access == NewFile::Private && security == nullptr) {
        return {};
    }
    // Exclusive: whatever appeared at the name since, it is not this file.
    return OpenIn(folder, name, FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_CREATE,
                  FILE_NON_DIRECTORY_FILE, kShareAll, security.get());
}

FileHandle OpenOwnFileForAppending(const OwnFolder& folder, const std::string& name,
                                   std::int64_t size, LongerFile longer) {
    const bool cutLonger = longer == LongerFile::Cut;
    FileHandle file = OpenIn(folder, name, FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_OPEN,
                             FILE_NON_DIRECTORY_FILE);
    if (!file.IsOpen()) {
        return file;
    }
    EntryInfo info;
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool fits = Fill(Native(file), info) && info.kind == EntryKind::File && info.links == 1 &&
                      (cutLonger ? info.size >= size : info.size == size);
    if (!fits || !SetFilePointerEx(Native(file), end, nullptr, FILE_BEGIN) ||
        (info.size > size && !SetEndOfFile(Native(file)))) {
        file.Close();
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return file;
}

FileHandle OpenOwnFileForChanging(const OwnFolder& folder, const std::string& name) {
    return RegularOnly(OpenIn(folder, name, FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_OPEN,
                              FILE_NON_DIRECTORY_FILE));
}

FileHandle OpenOwnFileForReading(const OwnFolder& folder, const std::string& name) {
    return RegularOnly(OpenIn(folder, name, FILE_GENERIC_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
}

Result<FileHandle> OpenOrCreateOwnFile(const OwnFolder& folder, const std::string& name,
                                       NewFile access) {
    const SecurityDescriptor security = SecurityFor(access, PrivateKind::File);
    if (access == NewFile::Private && security == nullptr) {
        return Failure::OfSystem(static_cast<int>(GetLastError()));
    }
    // One call opens or creates: no other program comes in between. The
    // descriptor applies only when the file is created.
    FileHandle file = RegularOnly(OpenIn(folder, name, FILE_GENERIC_READ, FILE_OPEN_IF,
                                         FILE_NON_DIRECTORY_FILE, kShareAll, security.get()));
    if (!file.IsOpen()) {
        return Failure::OfSystem(static_cast<int>(GetLastError()));
    }
    return file;
}

Result<FileHandle> OpenFileForReading(const std::string& path) {
    FileHandle file =
        NativeFile::Wrap(CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        Failure failure = Failure::WithSystemError(FailureKind::CannotOpenInputFile,
                                                   static_cast<int>(GetLastError()));
        failure.path = path;
        return failure;
    }
    return file;
}

bool ReadSome(const FileHandle& file, void* data, std::size_t size, std::size_t& got) {
    DWORD n = 0;
    const BOOL ok = ReadFile(
        Native(file), data, static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &n, nullptr);
    got = ok ? n : 0;
    // A pipe whose writer has gone is at its end.
    return ok || GetLastError() == ERROR_BROKEN_PIPE;
}

// On a synchronous handle a read or write at an offset moves the file's
// position too, unlike pread and pwrite; the shared code does not mix them
// with ReadSome and WriteAll on one handle.
bool ReadAt(const FileHandle& file, std::int64_t offset, void* data, std::size_t size,
            std::size_t& got) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD n = 0;
    const BOOL ok = ReadFile(Native(file), data,
                             static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &n, &at);
    got = ok ? n : 0;
    return ok || GetLastError() == ERROR_HANDLE_EOF;
}

bool WriteAll(const FileHandle& file, const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        DWORD n = 0;
        if (!WriteFile(Native(file), p, static_cast<DWORD>(std::min<std::size_t>(length, 1 << 30)),
                       &n, nullptr) ||
            n == 0) {
            return false;
        }
        p += n;
        length -= n;
    }
    return true;
}

bool WriteAll(const FileHandle& file, const std::string& data) {
    return WriteAll(file, data.data(), data.size());
}

bool WriteAt(const FileHandle& file, std::int64_t offset, const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD n = 0;
        if (!WriteFile(Native(file), p, static_cast<DWORD>(std::min<std::size_t>(length, 1 << 30)),
                       &n, &at) ||
            n == 0) {
            return false;
        }
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}

bool SyncData(const FileHandle& file) {
    if (FlushFileBuffers(Native(file))) {
        return true;
    }
    // Windows flushes only through a handle that may write, where POSIX
    // syncs any descriptor: a file opened for reading is flushed through a
    // second handle to the very same file.
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    const HANDLE writable = ReOpenFile(Native(file), GENERIC_WRITE, kShareAll, 0);
    if (writable == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(writable) != FALSE;
    CloseHandle(writable);
    return flushed;
}

bool SyncFolder(const OwnFolder& folder) {
    // NTFS journals the rename itself; a folder handle without write access
    // cannot be flushed, and need not be.
    FlushFileBuffers(FolderHandle(folder));
    return folder.IsOpen();
}

bool SetExecutable(const FileHandle& file) {
    return file.IsOpen();
}

bool SetPermissions(const FileHandle& file, std::uint32_t permissions) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(Native(file), FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    basic.FileAttributes = (basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) |
                           (permissions & FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) {
        // 0 would leave the attributes as they are.
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    // Times of 0 are left as they are.
    basic.CreationTime.QuadPart = 0;
    basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = 0;
    basic.ChangeTime.QuadPart = 0;
    return SetFileInformationByHandle(Native(file), FileBasicInfo, &basic, sizeof basic) != FALSE;
}

Outcome TryLockFile(const FileHandle& file) {
    // One byte far past any end: the lock keeps nobody from reading or
    // writing the file's data, as an advisory lock on POSIX does not.
    OVERLAPPED at{};
    at.Offset = 0;
    at.OffsetHigh = 0x7FFFFFF0;
    if (LockFileEx(Native(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &at)) {
        return {};
    }
    const DWORD error = GetLastError();
    Failure failure(error == ERROR_LOCK_VIOLATION ? FailureKind::FolderInUse : FailureKind::System);
    failure.systemError = static_cast<int>(error);
    return failure;
}

bool RemoveOwnFile(const OwnFolder& folder, const std::string& name) {
    const FileHandle entry = OpenIn(folder, name, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
    EntryInfo info;
    if (!entry.IsOpen() || !Fill(Native(entry), info)) {
        return false;
    }
    if (info.kind == EntryKind::Folder) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return DeleteByHandle(Native(entry));
}

bool RenameOwnFile(const OwnFolder& fromFolder, const std::string& from, const OwnFolder& toFolder,
                   const std::string& to) {
    const FileHandle entry =
        OpenIn(fromFolder, from, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN, 0, kShareAll);
    if (!entry.IsOpen()) {
        return false;
    }
    if (!toFolder.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::wstring wide = Wide(to);
    // FILE_RENAME_INFORMATION with its first member as the flags of the Ex
    // class; ReplaceIfExists is that member's first byte.
    struct RenameInformation {
        ULONG flags;
        HANDLE rootDirectory;
        ULONG fileNameLength;
        WCHAR fileName[1];
    };
    std::vector<unsigned char> buffer(sizeof(RenameInformation) + wide.size() * sizeof(wchar_t));
    auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
    information->rootDirectory = FolderHandle(toFolder);
    information->fileNameLength = static_cast<ULONG>(wide.size() * sizeof(wchar_t));
    std::memcpy(information->fileName, wide.data(), wide.size() * sizeof(wchar_t));
    // POSIX semantics: a file that another program holds open is replaced
    // all the same, as rename does.
    information->flags = kRenameReplaceIfExists | kRenamePosixSemantics | kRenameIgnoreReadOnly;
    if (SetInformation(Native(entry), information, buffer.size(), kFileRenameInformationEx)) {
        return true;
    }
    // Without them (Windows before 10 1709, Wine) a file open elsewhere,
    // say by a virus scanner or a reader of the resume state, cannot be
    // replaced: such readers hold it briefly, so the rename is tried again
    // for up to a second.
    information->flags = TRUE;
    for (int attempt = 0;; ++attempt) {
        if (SetInformation(Native(entry), information, buffer.size(), FileRenameInformation)) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            SetLastError(error);
            return false;
        }
        Sleep(10);
    }
}

bool ForEachEntry(const OwnFolder& folder, const std::function<bool(const std::string&)>& visit) {
    // Listed through a handle of its own, reopened from the held one (not by
    // the folder's path): Wine keeps a listing per handle, so listing
    // through the held handle again would show the folder as it was the
    // first time.
    if (!folder.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const FileHandle listing =
        NativeFile::Wrap(ReOpenFile(FolderHandle(folder), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                    kShareAll, FILE_FLAG_BACKUP_SEMANTICS));
    if (!listing.IsOpen()) {
        return false;
    }
    const HANDLE handle = Native(listing);
    // ULONG-aligned, as the entries are.
    std::vector<ULONG> buffer(16384);
    BOOLEAN restart = TRUE;
    for (;;) {
        IO_STATUS_BLOCK status{};
        const NTSTATUS result =
            NtQueryDirectoryFile(handle, nullptr, nullptr, nullptr, &status, buffer.data(),
                                 static_cast<ULONG>(buffer.size() * sizeof(ULONG)),
                                 FileNamesInformation, FALSE, nullptr, restart);
        restart = FALSE;
        if (result == kStatusNoMoreFiles) {
            return true;
        }
        if (!NT_SUCCESS(result)) {
            SetLastError(RtlNtStatusToDosError(result));
            return false;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_NAMES_INFORMATION*>(bytes);
            const std::string name =
                Narrow(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != "." && name != ".." && !visit(name)) {
                return true;
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            bytes += entry->NextEntryOffset;
        }
    }
}

Outcome MakeFolder(const std::string& path, NewFile access) {
    const std::wstring wide = Wide(path);
    const SecurityDescriptor security = SecurityFor(access, PrivateKind::Folder);
    if (access == NewFile::Private && security == nullptr) {
        return Failure::OfSystem(static_cast<int>(GetLastError()));
    }
    SECURITY_ATTRIBUTES made{sizeof made, security.get(), FALSE};
    if (CreateDirectoryW(wide.c_str(), &made)) {
        return {};
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    return Failure::OfSystem(static_cast<int>(error));
}

bool LinkOwnFile(const FileHandle& file, const OwnFolder& folder, const std::string& name) {
    if (!file.IsOpen() || !folder.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::wstring wide = Wide(name);
    if (wide.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_LINK_INFORMATION) +
                                      wide.size() * sizeof(wchar_t));
    auto* information = reinterpret_cast<FILE_LINK_INFORMATION*>(buffer.data());
    information->ReplaceIfExists = FALSE;
    information->RootDirectory = FolderHandle(folder);
    information->FileNameLength = static_cast<ULONG>(wide.size() * sizeof(wchar_t));
    std::memcpy(information->FileName, wide.data(), wide.size() * sizeof(wchar_t));
    if (SetInformation(Native(file), information, buffer.size(), FileLinkInformation)) {
        return true;
    }
    // Windows may ask for the right to write the file's attributes before
    // it links it, which a handle opened for reading lacks.
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    const FileHandle writable =
        NativeFile::Wrap(ReOpenFile(Native(file), FILE_WRITE_ATTRIBUTES, kShareAll, 0));
    return writable.IsOpen() &&
           SetInformation(Native(writable), information, buffer.size(), FileLinkInformation);
}

std::string ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        // A path that fills the buffer may have been cut short.
        if (n < path.size()) {
            return Narrow(path.data(), n);
        }
        path.resize(path.size() * 2);
    }
}

int LastSystemError() {
    return static_cast<int>(GetLastError());
}

std::string SystemErrorText(int code) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = n > 0 ? Narrow(text, n) : std::string();
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

std::string SystemErrorText() {
    return SystemErrorText(LastSystemError());
}
