#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/failure.h"

// Everything the program does with files and folders, the same on every
// platform: the shared code sees only these types and calls, never a
// descriptor, a handle or a system header. file_system_posix.cpp and
// file_copy_posix.cpp hold the mapping to the system here (the Windows
// files the mapping there). Calls whose failure someone tells or tells
// apart return it as a Failure with the system's code; plain checks (a
// stat, a read, a rename) return false or a closed handle, and only this
// file layer reads the code they leave behind (LastSystemError).

// The separator of paths on disk: "/" here, "\" on Windows. Paths on the
// server always take "/".
extern const char kPathSeparator[];
// What a program's file name ends with: nothing here, ".exe" on Windows.
extern const char kExecutableSuffix[];

// A file or folder held open. Moves, closes itself; the system's own handle
// never leaves it.
class FileHandle {
  public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return m_native != kClosed; }
    // False when the system reports a failure on closing (a write that
    // could not be done after all).
    bool Close();

  private:
    friend struct NativeFile;
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_native = kClosed;
};

enum class EntryKind { File, Folder, Link, Other };

// What tells one file from another, and a file from itself once changed.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::int64_t modifiedNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct EntryInfo {
    EntryKind kind = EntryKind::Other;
    std::int64_t size = 0;
    std::uint64_t links = 0;
    FileIdentity identity;
    // Who may read, write and run it, in the system's own terms: only to
    // carry over to a file that replaces it (SetPermissions).
    std::uint32_t permissions = 0;
    // Only the user running the program can change or replace it: it is
    // theirs and nobody else may write to it (on Windows: no entry of its
    // access list lets anyone but the user, SYSTEM or the administrators
    // change it).
    bool onlyUserWrites = true;
};

// Who may open a file the program makes: everybody the folder lets, or its
// owner alone.
enum class NewFile { Shared, Private };

// The folders the program writes into are held open, and the files in them
// are reached through that handle, never through the folder's path again: a
// folder swapped for a link after it was opened redirects nothing.
class OwnFolder {
  public:
    OwnFolder() = default;

    // Opens a folder by its path ("" is the root). Links along the path are
    // followed: this is the package folder, which the user chose.
    static OwnFolder Open(const std::string& path);
    // The folder that holds `path`; `name` receives the path's last element.
    static OwnFolder OpenParentOf(const std::string& path, std::string& name);
    // Opens an absolute path one folder at a time from the root, each
    // through the one above and no link followed, and only when nobody but
    // the user (and the system's administrator) can change where it leads:
    // every folder on the way is theirs and writable by nobody else, or,
    // like /tmp, sticky, so that others cannot move what the user owns in
    // it. Closed otherwise. What is reached through it later is what was
    // checked, and its path names the same for as long as the user keeps it.
    static OwnFolder OpenBeyondOthersReach(const std::string& path);

    // A subfolder, created first when `create` and missing. A link or
    // anything but a folder at that name is never followed: ForeignFolder,
    // with the path. The system's error where it cannot be made or opened.
    // A folder it makes with NewFile::Private is the user's alone (mode
    // 0700; on Windows an access list of the user, SYSTEM and the
    // administrators, nothing inherited).
    Result<OwnFolder> Subfolder(const std::string& name, bool create,
                                NewFile access = NewFile::Shared) const;

    // A folder that could not be opened keeps its path, for messages, and
    // the system's code of why not.
    bool IsOpen() const { return m_handle != nullptr; }
    int OpenError() const { return m_openError; }
    const FileHandle& Handle() const;
    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + kPathSeparator + name; }

  private:
    OwnFolder(FileHandle handle, std::string path);
    // Something not a folder (or a link) at the name is not ours to follow;
    // anything else is the system's failure. Either keeps the system's code.
    static Failure NotOpened(int systemError, bool notAFolder, std::string path);

    std::shared_ptr<const FileHandle> m_handle;
    std::string m_path;
    int m_openError = 0;
};

// The entry at `name` itself (a link is not followed); false when there is
// none.
bool StatOwnEntry(const OwnFolder& folder, const std::string& name, EntryInfo& info);
bool StatFile(const FileHandle& file, EntryInfo& info);
// What a path leads to, its links followed; false when nothing.
bool StatPath(const std::string& path, EntryInfo& info);

// Creates `name` afresh for writing: a regular file of that name is removed
// first, so a hard link to someone else's file is never written through; a
// link, FIFO, socket, device or folder there is refused without being
// touched.
FileHandle CreateOwnFile(const OwnFolder& folder, const std::string& name,
                         NewFile access = NewFile::Shared);
// What becomes of a file longer than the size asked for.
enum class LongerFile {
    Refuse,
    // Cut back to the size: a crash may have left bytes after the last point
    // that was known to be on disk.
    Cut,
};
// Opens the program's own file to append to it: only a regular file of
// exactly `size` bytes (or more, cut back, where `longer` says so) that
// nobody else has a name for (one link), so that a hard link to someone
// else's file is never written through; positioned at the end.
FileHandle OpenOwnFileForAppending(const OwnFolder& folder, const std::string& name,
                                   std::int64_t size, LongerFile longer = LongerFile::Refuse);
// Opens the program's own regular file to change bytes in place, without
// following a link.
FileHandle OpenOwnFileForChanging(const OwnFolder& folder, const std::string& name);
// Opens a regular file for reading without following a link and without
// waiting on a FIFO.
FileHandle OpenOwnFileForReading(const OwnFolder& folder, const std::string& name);
// Opens the regular file at `name`, or creates it exclusively when there is
// none; never empties or replaces it, never follows a link. Else the
// system's error.
Result<FileHandle> OpenOrCreateOwnFile(const OwnFolder& folder, const std::string& name,
                                       NewFile access);
// Opens any file for reading by its path, links followed: what the user
// names, such as the running program itself. Else CannotOpenInputFile with
// the path and the system's code.
Result<FileHandle> OpenFileForReading(const std::string& path);

// Reads what is there, up to `size` bytes; `got` is 0 at the end.
bool ReadSome(const FileHandle& file, void* data, std::size_t size, std::size_t& got);
bool ReadAt(const FileHandle& file, std::int64_t offset, void* data, std::size_t size,
            std::size_t& got);
// Writes every byte or fails.
bool WriteAll(const FileHandle& file, const void* data, std::size_t length);
bool WriteAll(const FileHandle& file, const std::string& data);
bool WriteAt(const FileHandle& file, std::int64_t offset, const void* data, std::size_t length);
// Puts the file's data on disk.
bool SyncData(const FileHandle& file);
// Puts the folder's entries on disk: a rename in it is durable only then.
bool SyncFolder(const OwnFolder& folder);
// Lets whoever may read the file run it (nothing to do on Windows).
bool SetExecutable(const FileHandle& file);
// Gives the file the permissions another one had (EntryInfo::permissions).
bool SetPermissions(const FileHandle& file, std::uint32_t permissions);
// Takes an exclusive lock on the open file without waiting: FolderInUse
// (without a path) when another open of it holds one, in this process or
// another; else the system's error. The system drops the lock with the
// handle, however the process ends.
Outcome TryLockFile(const FileHandle& file);

// Removes the file or link `name`: never a folder, never what a link points
// to.
bool RemoveOwnFile(const OwnFolder& folder, const std::string& name);
// Renames `from` in one folder to `to` in another (or the same), replacing
// what stands at `to`.
bool RenameOwnFile(const OwnFolder& fromFolder, const std::string& from, const OwnFolder& toFolder,
                   const std::string& to);
// Calls `visit` for each entry of the folder ("." and ".." left out) until
// it returns false; false when the folder cannot be read.
bool ForEachEntry(const OwnFolder& folder, const std::function<bool(const std::string&)>& visit);
// Makes one folder by its path; done when it exists afterwards, else the
// system's error. Private makes it the user's alone, as OwnFolder::Subfolder
// does; a folder that was there already is left as it is.
Outcome MakeFolder(const std::string& path, NewFile access = NewFile::Shared);
// Gives the open regular file `file` one more name, `name` in `folder`,
// which must not exist yet: the same file, no copy. False where the file
// system has no such names (FAT, exFAT) or the two lie on different ones.
bool LinkOwnFile(const FileHandle& file, const OwnFolder& folder, const std::string& name);

// The full path of the running program file; empty if it cannot be read.
std::string ModuleFileName();

// The system's code of the last failure, for the file layer's own files,
// which turn it into a Failure at once; and a code's text (empty when it
// has none).
int LastSystemError();
std::string SystemErrorText(int code);
std::string SystemErrorText();

// Appends the rest of file `in` to file `out` and adds the bytes to `total`;
// a failure is CannotOpenInputFile (reading) or FailedToWriteFile, with the
// system's code and without a path, which only the caller knows.
// Where the file system can share blocks between files, the rest is cloned
// and nothing is copied. On a network file system the system asks the server
// to copy (the data does not cross the network twice). Elsewhere the bytes
// are read and written here: on a local disk the system's own copy goes
// page by page and, with the writeback started as the data is written, took
// twice as long as reading and writing a MiB at a time.
Outcome AppendFileContents(const FileHandle& in, const FileHandle& out, std::int64_t& total);

// Where the system's own copy between files is used.
enum class InKernelCopy { WhereTheServerCopies, Always };

// The same for many files into one: once the file system has said that it
// cannot clone or copy in the kernel between these files, it is not asked
// again for every one of them.
class FileAppender {
  public:
    explicit FileAppender(InKernelCopy inKernel = InKernelCopy::WhereTheServerCopies)
        : m_inKernelCopy(inKernel) {}
    Outcome Append(const FileHandle& in, const FileHandle& out, std::int64_t& total);
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
// later SyncData has little left to wait for. Writing out as the data
// arrives overlaps the disk with the network instead of adding it at the
// end.
class EarlyWriteback {
  public:
    explicit EarlyWriteback(const FileHandle* file) : m_file(file) {}
    // Call with the file's size after each write.
    void Wrote(std::int64_t size);

  private:
    const FileHandle* m_file;
    std::int64_t m_started = 0;
};
