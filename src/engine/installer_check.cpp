#include "engine/installer_check.h"

#include <cstdint>
#include <string>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "framework/durable_file.h"
#include "framework/file_hash.h"
#include "framework/own_files.h"
#include "framework/sha256.h"

namespace {

// The record, one line: the checksum it was checked against, then the size,
// device, file number and modification time (seconds, nanoseconds) of the
// installer that matched it. Anything else in the file matches nothing.
std::string IdentityLine(const EntryInfo& info, const Sha256Digest& digest) {
    const FileIdentity& id = info.identity;
    return ToHex(digest) + ' ' + std::to_string(info.size) + ' ' + std::to_string(id.device) + ' ' +
           std::to_string(id.file) + ' ' + std::to_string(id.modifiedNs / 1000000000) + ' ' +
           std::to_string(id.modifiedNs % 1000000000) + '\n';
}

constexpr std::size_t kMaxIdentityBytes = 256;

bool IsRecordedInstaller(const DownloadState& state, const EntryInfo& info) {
    std::string recorded;
    return ReadOwnFile(state.m_versionFolder, kInstallerIdentityFileName, kMaxIdentityBytes,
                       recorded) &&
           recorded == IdentityLine(info, state.m_installerDigest);
}

void RemoveInstaller(const DownloadState& state) {
    RemoveOwnFile(state.m_versionFolder, kInstallerIdentityFileName);
    RemoveOwnFile(state.m_versionFolder, kInstallerFileName);
}

}  // namespace

bool KeepInstallerIfComplete(const DownloadState& state, InstallerCheck check) {
    EntryInfo info;
    if (!StatOwnEntry(state.m_versionFolder, kInstallerFileName, info)) {
        return false;
    }
    // A link, a FIFO or the like is no installer; it goes like a short one
    // (a link itself, never what it points to). A folder cannot.
    if (info.kind != EntryKind::File) {
        RemoveInstaller(state);
        return false;
    }
    // In 64 bits, so that packages of 2 GiB and more work.
    const PackageIndex& index = state.m_index;
    const std::int64_t complete =
        (static_cast<std::int64_t>(index.m_parts.size()) - 1) * index.m_partSize;
    if (info.size < complete) {
        RemoveInstaller(state);
        return false;
    }
    if (state.m_partDigests.empty()) {
        // Without the maker's checksums the size is all there is to check.
        return true;
    }
    if (IsRecordedInstaller(state, info)) {
        return true;
    }
    if (check == InstallerCheck::WithoutReading) {
        return false;
    }
    Sha256 hash;
    if (!HashOwnFile(state.m_versionFolder, kInstallerFileName, hash, &state.m_bStop)) {
        // Stopped, or unreadable: nothing is decided, nothing removed.
        return false;
    }
    if (hash.Digest() != state.m_installerDigest) {
        RemoveInstaller(state);
        return false;
    }
    RecordCheckedInstaller(state);
    return true;
}

bool RecordCheckedInstaller(const DownloadState& state) {
    EntryInfo info;
    if (!StatOwnEntry(state.m_versionFolder, kInstallerFileName, info) ||
        info.kind != EntryKind::File) {
        return false;
    }
    DurableReplacement record(state.m_versionFolder, kInstallerIdentityFileName,
                              kSaveTemporarySuffix);
    return record.Write(IdentityLine(info, state.m_installerDigest)) && record.Commit();
}
