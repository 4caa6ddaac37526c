#include "framework/folder_lock.h"

#include <cerrno>

#include "framework/file_system.h"

FolderLock::~FolderLock() {
    Unlock();
}

void FolderLock::Unlock() {
    m_file.Close();
}

FolderLock::Result FolderLock::Lock(const std::string& folder, const std::string& name) {
    return Lock(OwnFolder::Open(folder), name);
}

FolderLock::Result FolderLock::Lock(const OwnFolder& held, const std::string& name) {
    Unlock();
    m_error = 0;
    // Only its owner may open it: another user cannot hold this user's
    // folder. Never emptied or replaced, and nothing waits on a FIFO there.
    FileHandle file =
        held.IsOpen() ? OpenOrCreateOwnFile(held, name, NewFile::Private) : FileHandle();
    if (!file.IsOpen()) {
        m_error = LastSystemError();
        return Result::Failed;
    }
    bool inUse = false;
    if (!TryLockFile(file, inUse)) {
        m_error = LastSystemError();
        return inUse ? Result::InUse : Result::Failed;
    }
    m_file = std::move(file);
    return Result::Locked;
}
