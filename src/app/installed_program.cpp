#include "app/installed_program.h"

#include "app/package_identity.h"
#include "catalogue/package_files.h"
#include "framework/build_config.h"
#include "framework/file_system.h"
#include "framework/folder_lock.h"
#include "framework/message_box.h"
#include "framework/own_files.h"
#include "framework/texts.h"
#include "framework/user_report.h"

namespace {

// Where an install puts the desktop's scalable icons, below the prefix. The
// program's own folder is a layout of Linux only, which no Windows path
// (with its "\") matches.
constexpr char kScalableIcons[] = "/share/icons/hicolor/scalable/apps/";

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
    const std::string folder = PackageFolderOf(modulePath);
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

HeldCopy HoldPackageCopy(const std::string& path) {
    const std::string folderPath = PackageFolderOf(path);
    if (folderPath.empty()) {
        return {};
    }
    HeldCopy copy;
    copy.path = path;
    copy.name = path.substr(folderPath.size() + 1);
    copy.folder = OwnFolder::OpenBeyondOthersReach(folderPath);
    FileHandle file =
        copy.folder.IsOpen() ? OpenOwnFileForReading(copy.folder, copy.name) : FileHandle();
    EntryInfo info;
    if (StatFile(file, info) && info.onlyUserWrites) {
        copy.file = std::move(file);
    }
    return copy;
}

HeldCopy FindPackageCopy(const std::string& modulePath,
                         const std::vector<std::string>& launcherTargets) {
    for (const std::string& target : launcherTargets) {
        // A launcher left pointing at the installed program itself names no
        // copy: starting it would only come back here. What is started
        // must be beyond anyone else's reach, every folder above it too: a
        // launcher can outlive its folder, and another user can make one
        // at the same place.
        HeldCopy copy = HoldPackageCopy(target);
        if (copy.IsHeld() && copy.name == GetPackageProgramName(kPackageMain) &&
            !IsSameOwnEntry(copy.folder, copy.name, modulePath)) {
            return copy;
        }
    }
    return {};
}

CopyRefresh RefreshPackageCopy(const std::string& modulePath, HeldCopy& copy) {
    FolderLock lock;
    if (const Outcome locked = lock.Lock(copy.folder, kLockFileName); !locked) {
        return locked.Error().kind == FailureKind::FolderInUse ? CopyRefresh::InUse
                                                               : CopyRefresh::Failed;
    }
    const Result<FileHandle> running = OpenFileForReading(modulePath);
    if (running && SameContents(*running, copy.file)) {
        return CopyRefresh::Current;
    }
    if (!CopyProgramFile(modulePath, copy.folder, copy.name)) {
        return CopyRefresh::Failed;
    }
    copy.file = OpenOwnFileForReading(copy.folder, copy.name);
    return copy.IsHeld() ? CopyRefresh::Replaced : CopyRefresh::Failed;
}

HeldCopy InstalledCopyToRun(const std::string& modulePath, HeldCopy copy) {
    if (copy.IsHeld()) {
        switch (RefreshPackageCopy(modulePath, copy)) {
            case CopyRefresh::InUse:
                ShowFolderInUse(PackageFolderOf(copy.path));
                return {};
            case CopyRefresh::Current:
            case CopyRefresh::Replaced:
                return copy;
            case CopyRefresh::Failed:
                // Neither checked nor brought up to date: not started. The
                // user chooses a package folder again.
                break;
        }
    }
    // The installed folder is no package folder: nothing runs there.
    const std::string made = CopyIntoChosenFolder(modulePath, WithoutCopy::StartNothing);
    if (made.empty()) {
        return {};
    }
    HeldCopy held = HoldPackageCopy(made);
    if (!held.IsHeld()) {
        Report(Failure::WithPath(FailureKind::FolderOpenToOthers, PackageFolderOf(made)));
        return {};
    }
    return held;
}
