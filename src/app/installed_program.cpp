#include "app/installed_program.h"

#include "app/package_identity.h"
#include "catalogue/package_files.h"
#include "framework/build_config.h"
#include "framework/file_system.h"
#include "framework/folder_lock.h"
#include "framework/message_box.h"
#include "framework/own_files.h"
#include "framework/texts.h"

namespace {

// Where an install puts the desktop's scalable icons, below the prefix. The
// program's own folder is a layout of Linux only, which no Windows path
// (with its "\") matches.
constexpr char kScalableIcons[] = "/share/icons/hicolor/scalable/apps/";

std::string FolderOf(const std::string& path) {
    const std::size_t separator = path.rfind(kPathSeparator);
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// Reads `size` bytes, fewer only at the end of the file.
bool ReadFull(const FileHandle& file, std::string& buffer, std::size_t size) {
    buffer.resize(size);
    std::size_t done = 0;
    for (std::size_t got = 1; done < size && got > 0; done += got) {
        if (!ReadSome(file, buffer.data() + done, size - done, got)) {
            return false;
        }
    }
    buffer.resize(done);
    return true;
}

bool SameContents(const FileHandle& a, const FileHandle& b) {
    EntryInfo infoA;
    EntryInfo infoB;
    if (!StatFile(a, infoA) || !StatFile(b, infoB) || infoA.size != infoB.size) {
        return false;
    }
    constexpr std::size_t kPiece = 1 << 16;
    std::string pieceA;
    std::string pieceB;
    do {
        if (!ReadFull(a, pieceA, kPiece) || !ReadFull(b, pieceB, kPiece) || pieceA != pieceB) {
            return false;
        }
    } while (pieceA.size() == kPiece);
    return true;
}

}  // namespace

bool IsInstalledProgram(const std::string& modulePath, std::string& prefix) {
    const std::string folder = FolderOf(modulePath);
    const std::string programFolder = config::kInstalledProgramFolder;
    const std::size_t length = programFolder.size();
    if (folder.size() < length ||
        folder.compare(folder.size() - length, length, programFolder) != 0) {
        return false;
    }
    prefix = folder.substr(0, folder.size() - length);
    return true;
}

std::string InstalledIconName(const std::string& prefix) {
    EntryInfo icon;
    return StatPath(prefix + kScalableIcons + config::kAppId + ".svg", icon) &&
                   icon.kind == EntryKind::File
               ? config::kAppId
               : "";
}

std::string FindPackageCopy(const std::string& modulePath,
                            const std::vector<std::string>& launcherTargets) {
    for (const std::string& target : launcherTargets) {
        if (target.empty()) {
            continue;
        }
        std::string name;
        const OwnFolder folder = OwnFolder::OpenParentOf(target, name);
        EntryInfo entry;
        // A launcher left pointing at the installed program itself names no
        // copy: starting it would only come back here.
        if (name == GetPackageProgramName(kPackageMain) && folder.IsOpen() &&
            StatOwnEntry(folder, name, entry) && entry.kind == EntryKind::File &&
            !IsSameOwnEntry(folder, name, modulePath)) {
            return target;
        }
    }
    return {};
}

CopyRefresh RefreshPackageCopy(const std::string& modulePath, const std::string& copy) {
    const std::string folderPath = FolderOf(copy);
    FolderLock lock;
    switch (lock.Lock(folderPath, kLockFileName)) {
        case FolderLock::Result::Locked:
            break;
        case FolderLock::Result::InUse:
            return CopyRefresh::InUse;
        case FolderLock::Result::Failed:
            return CopyRefresh::Failed;
    }
    std::string name;
    const OwnFolder folder = OwnFolder::OpenParentOf(copy, name);
    if (SameContents(OpenFileForReading(modulePath), OpenOwnFileForReading(folder, name))) {
        return CopyRefresh::Current;
    }
    return CopyProgramFile(modulePath, copy) ? CopyRefresh::Replaced : CopyRefresh::Failed;
}

std::string InstalledRunPath(const std::string& modulePath, const std::string& copy) {
    if (copy.empty()) {
        return CopyIntoChosenFolder(modulePath);
    }
    switch (RefreshPackageCopy(modulePath, copy)) {
        case CopyRefresh::InUse:
            ShowMessageBox(text::kFolderInUseBefore + FolderOf(copy) + text::kFolderInUseAfter);
            return {};
        case CopyRefresh::Current:
        case CopyRefresh::Replaced:
        case CopyRefresh::Failed:
            // A copy that could not be brought up to date still runs; its own
            // start reports a lock it cannot take.
            return copy;
    }
    return copy;
}
