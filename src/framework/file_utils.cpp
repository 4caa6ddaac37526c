#include "framework/file_utils.h"

#include <cerrno>

#include "framework/file_system.h"
#include "framework/user_report.h"

bool FileExists(const std::string& path) {
    EntryInfo info;
    return StatPath(path, info);
}

std::int64_t QueryFileSize(const std::string& path) {
    EntryInfo info;
    if (!StatPath(path, info)) {
        return -1;
    }
    return info.kind == EntryKind::Folder ? 0 : info.size;
}

std::string FolderOfPath(const std::string& path) {
    const std::size_t separator = path.rfind(kPathSeparator);
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

int DeleteAllFiles(const std::string& folder) {
    if (folder.empty()) {
        errno = EINVAL;
        return 0;
    }
    DeleteAllFiles(OwnFolder::Open(folder));
    return 1;
}

void DeleteAllFiles(const OwnFolder& folder) {
    // Removing never takes a folder, and takes a link itself, never what it
    // points at.
    ForEachEntry(folder, [&folder](const std::string& name) {
        RemoveOwnFile(folder, name);
        return true;
    });
}

void MakeDirectoryTree(const std::string& path, NewFile access) {
    // A separator at index 0 is the root, never a folder to create.
    for (std::size_t end = path.find(kPathSeparator, 1); end != std::string::npos;
         end = path.find(kPathSeparator, end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (FileExists(prefix)) {
            continue;
        }
        if (const Outcome made = MakeFolder(prefix, access); !made) {
            Report(made.Error());
            return;
        }
    }
}
