#pragma once

#include <string>

#include "framework/file_system.h"

// One program per folder: an exclusive lock on a file of the program's own
// in it, held while the object lives. The lock belongs to the open file, so
// the system drops it however the process ends: a killed program leaves
// nothing to clear by hand. The file itself is never removed or replaced,
// since a fresh file at the name would be a second lock, free beside the one
// a running program holds.
class FolderLock {
  public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock through the file `name` in `folder` without waiting,
    // creating the file when missing. FolderInUse (with the folder's path)
    // when another open of the file holds it, in this process or another.
    // A link, FIFO, device or folder at the name is refused, as is a lock
    // file that cannot be made: CannotCreateFile with the file's path and
    // the system's code. A lock already held is released first.
    Outcome Lock(const std::string& folder, const std::string& name);
    // The same in a folder held open.
    Outcome Lock(const OwnFolder& folder, const std::string& name);
    void Unlock();

    bool IsLocked() const { return m_file.IsOpen(); }

  private:
    FileHandle m_file;
};
