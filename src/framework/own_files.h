#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>

// The folders the program writes into are held open, and the files in them
// are reached through that descriptor, never through the folder's path
// again: a folder swapped for a link after it was opened redirects nothing.
class OwnFolder {
  public:
    OwnFolder() = default;

    // Opens a folder by its path ("" is the root). Links along the path are
    // followed: this is the package folder, which the user chose.
    static OwnFolder Open(const std::string& path);
    // The folder that holds `path`; `name` receives the path's last element.
    static OwnFolder OpenParentOf(const std::string& path, std::string& name);
    // A subfolder, created first when `create` and missing. A link or
    // anything but a folder at that name is never followed: the result is
    // then closed and `error` is ELOOP or ENOTDIR; another errno when the
    // folder cannot be made or opened.
    OwnFolder OpenSubfolder(const std::string& name, bool create, int& error) const;

    // A folder that could not be opened keeps its path, for messages.
    bool IsOpen() const { return m_handle != nullptr; }
    int Fd() const;
    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "/" + name; }

  private:
    struct Handle;
    OwnFolder(int fd, std::string path);

    std::shared_ptr<const Handle> m_handle;
    std::string m_path;
};

// Creates `name` afresh for writing: a regular file of that name is removed
// first, so a hard link to someone else's file is never written through; a
// link, FIFO, socket, device or folder there is refused (errno EEXIST)
// without being touched. Returns the descriptor, or -1 with errno set.
int CreateOwnFile(const OwnFolder& folder, const std::string& name, mode_t mode = 0666);

// Opens the program's own file `name` to append to it: only a regular file
// of exactly `size` bytes that nobody else has a name for (one link), so
// that a hard link to someone else's file is never written through. Returns
// the descriptor, positioned at the end, or -1.
int OpenOwnFileForAppending(const OwnFolder& folder, const std::string& name, off_t size);

// Opens a regular file for reading without following a link and without
// waiting on a FIFO; -1 with errno set for anything else.
int OpenOwnFileForReading(const OwnFolder& folder, const std::string& name);

// The entry at `name` itself (a link is not followed); false when there is
// none.
bool StatOwnEntry(const OwnFolder& folder, const std::string& name, struct stat& st);

// Removes the file or link `name`: never a folder, never what a link points to.
bool RemoveOwnFile(const OwnFolder& folder, const std::string& name);

// Reads the whole of the program's own regular file `name`, of at most
// `maxBytes`; false for anything else.
bool ReadOwnFile(const OwnFolder& folder, const std::string& name, std::size_t maxBytes,
                 std::string& content);

// A path to `name` through the folder's held descriptor
// ("/proc/<pid>/fd/<descriptor>/<name>"), for handing a file to another
// program, which can take only a path: it reaches the entry in the folder
// that was opened, whatever the folder's own path leads to by now. Valid
// while this process holds the folder open.
std::string PathThroughOwnFolder(const OwnFolder& folder, const std::string& name);

// Whether `path`, its links followed, leads to the very entry `name` of the
// held folder (a link there not followed): the same device and inode. False
// when either is missing.
bool IsSameOwnEntry(const OwnFolder& folder, const std::string& name, const std::string& path);
