#include "app/package_identity.h"

#include <algorithm>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "framework/folder_lock.h"
#include "framework/message_box.h"
#include "framework/texts.h"
#include "ui/folder_dialog.h"

std::string GetPackageProgramName(PackageId id) {
    return std::string(PackageInfoFor(id).programName) + kExecutableSuffix;
}

bool CopyProgramFile(const std::string& from, const std::string& to) {
    std::string name;
    const OwnFolder folder = OwnFolder::OpenParentOf(to, name);
    return CopyProgramFile(from, folder, name);
}

bool CopyProgramFile(const std::string& from, const OwnFolder& folder, const std::string& name) {
    const FileHandle in = OpenFileForReading(from);
    if (!in.IsOpen()) {
        return false;
    }
    DurableReplacement copy(folder, name, kPartialSuffix);
    std::int64_t copied = 0;
    EntryInfo source;
    return copy.IsOpen() && AppendFileContents(in, copy.File(), copied) == CopyResult::Done &&
           StatFile(in, source) && copy.SetPermissions(source.permissions) &&
           copy.MakeExecutable() && copy.Commit() == DurableReplacement::Result::Committed;
}

std::string CopyToPackageFolder(const std::string& modulePath,
                                const std::vector<std::string>& downloadFolders) {
    // Always the main package's name, whatever package is selected.
    if (modulePath.find(GetPackageProgramName(kPackageMain)) != std::string::npos) {
        return modulePath;
    }
    const auto startedThere = [&modulePath](const std::string& folder) {
        return !folder.empty() && modulePath.compare(0, folder.size(), folder) == 0;
    };
    if (std::none_of(downloadFolders.begin(), downloadFolders.end(), startedThere)) {
        return modulePath;
    }
    return CopyIntoChosenFolder(modulePath);
}

std::string PackageFolderOf(const std::string& programPath) {
    const std::size_t separator = programPath.rfind(kPathSeparator);
    return separator == std::string::npos ? std::string() : programPath.substr(0, separator);
}

void ShowFolderInUse(const std::string& folder) {
    ShowMessageBox(text::kFolderInUseBefore + folder + text::kFolderInUseAfter);
}

std::string CopyIntoChosenFolder(const std::string& modulePath, std::string* attempted) {
    FolderDialog dialog;
    // After Cancel the folder is the one the dialog held: the default or the
    // last one picked.
    dialog.DoModal();
    const std::string folder = dialog.m_strFolder;
    if (folder.empty()) {
        return modulePath;
    }
    const std::string target = folder + kPathSeparator + GetPackageProgramName(g_currentPackage);
    if (attempted != nullptr) {
        *attempted = target;
    }
    // A folder it makes is the user's alone: on Windows a new folder below
    // the drive's root would otherwise let every user change what is in it.
    MakeDirectoryTree(target, NewFile::Private);
    // A program running for that folder is not overwritten, nor joined by a
    // second one; held through the copy, so none starts there meanwhile. A
    // lock that cannot be had is left to the copy's own start to report.
    FolderLock lock;
    if (lock.Lock(folder, kLockFileName) == FolderLock::Result::InUse) {
        ShowFolderInUse(folder);
        return {};
    }
    return CopyProgramFile(modulePath, target) ? target : modulePath;
}
