#include "app/package_identity.h"

#include <algorithm>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "framework/folder_lock.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "framework/user_report.h"
#include "ui/folder_dialog.h"

std::string GetPackageProgramName(PackageId id) {
    return std::string(PackageInfoFor(id).programName) + kExecutableSuffix;
}

Outcome CopyProgramFile(const std::string& from, const std::string& to) {
    std::string name;
    const OwnFolder folder = OwnFolder::OpenParentOf(to, name);
    return CopyProgramFile(from, folder, name);
}

Outcome CopyProgramFile(const std::string& from, const OwnFolder& folder, const std::string& name) {
    const Result<FileHandle> in = OpenFileForReading(from);
    if (!in) {
        return in.Error();
    }
    DurableReplacement copy(folder, name, kPartialSuffix);
    // A failed step leaves the copy failed; Commit says why.
    copy.CopyFrom(*in) && copy.MakeExecutable();
    return copy.Commit();
}

namespace {

// The system's reason why the program could not be copied to `target`, or
// ours where the system gives none (something else stands at that name).
Failure WhyNotCopied(const std::string& target, int error) {
    std::string name;
    EntryInfo there;
    if (StatOwnEntry(OwnFolder::OpenParentOf(target, name), name, there) &&
        there.kind != EntryKind::File) {
        return Failure(FailureKind::NotAFileThere);
    }
    return SystemErrorText(error).empty() ? Failure(FailureKind::NoReasonGiven)
                                          : Failure::OfSystem(error);
}

// Whether `path` lies in `folder` as the file system judges it: one of the
// folders above it is that very folder (the same device and file number),
// however either path spells it (letter case on Windows, a link on the way).
bool LiesIn(const std::string& path, const std::string& folder) {
    EntryInfo wanted;
    if (folder.empty() || !StatPath(folder, wanted) || wanted.kind != EntryKind::Folder) {
        return false;
    }
    // Up to the root, but not to a drive's "C:", which names the drive's
    // current folder rather than its root.
    for (std::string above = PackageFolderOf(path); above.find(kPathSeparator) != std::string::npos;
         above = PackageFolderOf(above)) {
        EntryInfo info;
        if (StatPath(above, info) && info.identity.device == wanted.identity.device &&
            info.identity.file == wanted.identity.file) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string CopyToPackageFolder(const std::string& modulePath,
                                const std::vector<std::string>& downloadFolders) {
    // Always the main package's name, whatever package is selected.
    if (modulePath.find(GetPackageProgramName(kPackageMain)) != std::string::npos) {
        return modulePath;
    }
    const auto startedThere = [&modulePath](const std::string& folder) {
        return LiesIn(modulePath, folder);
    };
    if (std::none_of(downloadFolders.begin(), downloadFolders.end(), startedThere)) {
        return modulePath;
    }
    return CopyIntoChosenFolder(modulePath, WithoutCopy::RunInPlace);
}

std::string PackageFolderOf(const std::string& programPath) {
    return FolderOfPath(programPath);
}

void ShowFolderInUse(const std::string& folder) {
    Report(Failure::WithPath(FailureKind::FolderInUse, folder));
}

std::string CopyIntoChosenFolder(const std::string& modulePath, WithoutCopy fallback) {
    FolderDialog dialog;
    // After Cancel the folder is the one the dialog held: the default or the
    // last one picked.
    dialog.DoModal();
    for (;;) {
        const std::string folder = dialog.m_strFolder;
        if (folder.empty()) {
            return fallback == WithoutCopy::RunInPlace ? modulePath : std::string();
        }
        const std::string target =
            folder + kPathSeparator + GetPackageProgramName(g_currentPackage);
        // A folder it makes is the user's alone: on Windows a new folder
        // below the drive's root would otherwise let every user change what
        // is in it.
        MakeDirectoryTree(target, NewFile::Private);
        // A program running for that folder is not overwritten, nor joined
        // by a second one; held through the copy, so none starts there
        // meanwhile. A lock that cannot be had is left to the copy's own
        // start to report.
        FolderLock lock;
        if (const Outcome locked = lock.Lock(folder, kLockFileName);
            !locked && locked.Error().kind == FailureKind::FolderInUse) {
            Report(locked.Error());
            return {};
        }
        const Outcome copied = CopyProgramFile(modulePath, target);
        if (copied) {
            return target;
        }
        // Said, and asked again: the same folder would fail the same way.
        Failure notCopied = Failure::Wrapping(FailureKind::CannotCopyProgram,
                                              WhyNotCopied(target, copied.Error().systemError));
        notCopied.path = target;
        Report(notCopied);
        FolderDialog again;
        again.m_strFolder = folder;
        if (again.DoModal() != res::IDOK) {
            // Cancel means no copy, not the held folder once more.
            if (fallback == WithoutCopy::StartNothing) {
                return {};
            }
            Report(Failure::WithPath(FailureKind::RunsInPlace, PackageFolderOf(modulePath)));
            return modulePath;
        }
        dialog.m_strFolder = again.m_strFolder;
    }
}
