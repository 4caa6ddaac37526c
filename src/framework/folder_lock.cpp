#include "framework/folder_lock.h"

#include "framework/file_system.h"

FolderLock::~FolderLock() {
    Unlock();
}

void FolderLock::Unlock() {
    m_file.Close();
}

Outcome FolderLock::Lock(const std::string& folder, const std::string& name) {
    return Lock(OwnFolder::Open(folder), name);
}

Outcome FolderLock::Lock(const OwnFolder& held, const std::string& name) {
    Unlock();
    const auto notMade = [&](int systemError) {
        Failure failure = Failure::WithPath(FailureKind::CannotCreateFile, held.PathOf(name));
        failure.systemError = systemError;
        return failure;
    };
    if (!held.IsOpen()) {
        return notMade(held.OpenError());
    }
    // Only its owner may open it: another user cannot hold this user's
    // folder. Never emptied or replaced, and nothing waits on a FIFO there.
    Result<FileHandle> file = OpenOrCreateOwnFile(held, name, NewFile::Private);
    if (!file) {
        return notMade(file.Error().systemError);
    }
    if (const Outcome locked = TryLockFile(*file); !locked) {
        if (locked.Error().kind == FailureKind::FolderInUse) {
            return Failure::WithPath(FailureKind::FolderInUse, held.Path());
        }
        return notMade(locked.Error().systemError);
    }
    m_file = std::move(*file);
    return {};
}
