#include "engine/installer_handover.h"

#include <cstdint>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "framework/file_hash.h"
#include "framework/file_utils.h"
#include "framework/own_files.h"
#include "framework/sha256.h"

namespace {

bool DigestOf(const FileHandle& file, Sha256Digest& digest) {
    Sha256 hash;
    if (!file.IsOpen() || !HashFileContents(file, hash)) {
        return false;
    }
    digest = hash.Digest();
    return true;
}

// A copy for a file system without a second name for a file: it counts only
// when its bytes are the checked installer's, by the maker's checksum where
// there is one, otherwise by the installer's own, read again.
bool CopyChecked(const DownloadState& state, const FileHandle& installer,
                 const EntryInfo& installerInfo, const OwnFolder& handOver) {
    FileHandle out = CreateOwnFile(handOver, kInstallerFileName, NewFile::Private);
    std::int64_t copied = 0;
    if (!out.IsOpen() || !AppendFileContents(installer, out, copied) ||
        copied != installerInfo.size || !out.Close()) {
        return false;
    }
    Sha256Digest expected = state.m_installerDigest;
    if (state.m_partDigests.empty()) {
        const FileHandle again = OpenOwnFileForReading(state.m_versionFolder, kInstallerFileName);
        EntryInfo againInfo;
        if (!StatFile(again, againInfo) || againInfo.identity != installerInfo.identity ||
            !DigestOf(again, expected)) {
            return false;
        }
    }
    Sha256Digest got{};
    return DigestOf(OpenOwnFileForReading(handOver, kInstallerFileName), got) && got == expected;
}

}  // namespace

Result<OwnFolder> HandOverInstaller(const DownloadState& state) {
    const std::string packagePath = state.PackageFolderPath();
    const OwnFolder package = OwnFolder::OpenBeyondOthersReach(packagePath);
    if (!package.IsOpen()) {
        return Failure::WithPath(FailureKind::FolderOpenToOthers, packagePath);
    }
    const Result<OwnFolder> made = package.Subfolder(kHandOverFolderName, true, NewFile::Private);
    const OwnFolder folder = made ? *made : OwnFolder();
    EntryInfo folderInfo;
    if (!folder.IsOpen() || !StatFile(folder.Handle(), folderInfo) || !folderInfo.onlyUserWrites) {
        return Failure::WithPath(FailureKind::CannotCreateFile,
                                 package.PathOf(kHandOverFolderName));
    }
    const Failure notMade =
        Failure::WithPath(FailureKind::CannotCreateFile, folder.PathOf(kInstallerFileName));
    const FileHandle installer = OpenOwnFileForReading(state.m_versionFolder, kInstallerFileName);
    EntryInfo installerInfo;
    if (!StatFile(installer, installerInfo)) {
        return notMade;
    }
    EntryInfo there;
    const bool alreadyThere = StatOwnEntry(folder, kInstallerFileName, there) &&
                              there.kind == EntryKind::File &&
                              there.identity == installerInfo.identity;
    if (!alreadyThere) {
        DeleteAllFiles(folder);
        if (!LinkOwnFile(installer, folder, kInstallerFileName) &&
            !CopyChecked(state, installer, installerInfo, folder)) {
            RemoveOwnFile(folder, kInstallerFileName);
            return notMade;
        }
    }
    return folder;
}

void RemoveHandedOverInstallers(const DownloadState& state) {
    const Result<OwnFolder> folder =
        OwnFolder::Open(state.PackageFolderPath()).Subfolder(kHandOverFolderName, false);
    if (folder) {
        DeleteAllFiles(*folder);
    }
}
