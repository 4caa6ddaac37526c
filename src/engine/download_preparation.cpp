#include "engine/download_preparation.h"

#include <algorithm>

#include "catalogue/checksum_list.h"
#include "catalogue/download_hosts.h"
#include "catalogue/package_files.h"
#include "catalogue/package_table.h"
#include "catalogue/server_names.h"
#include "catalogue/signed_versions.h"
#include "engine/checksums.h"
#include "engine/download_state.h"
#include "engine/resume_fit.h"
#include "framework/build_config.h"
#include "framework/file_utils.h"
#include "framework/text_mode.h"
#include "framework/user_report.h"

namespace {

// The site list's first line is read like a line of the index.
constexpr int kSiteLineBufferSize = 1024;

// Reads the site list's first line as text mode gives it, line feed
// included (at most 1023 bytes, up to a NUL byte, as the C library's fgets
// and a C string take it).
void TakeHostFromSiteList(const OwnFolder& folder, std::string& host) {
    const FileHandle file = OpenOwnFileForReading(folder, kSiteListFileName);
    // Text mode may make two stored bytes of one read.
    char stored[2 * (kSiteLineBufferSize - 1)];
    std::size_t length = 0;
    for (std::size_t got = 1; file.IsOpen() && got > 0 && length < sizeof stored;) {
        if (!ReadSome(file, stored + length, sizeof stored - length, got)) {
            return;
        }
        length += got;
    }
    const std::string read =
        FromTextMode(std::string_view(stored, length)).substr(0, kSiteLineBufferSize - 1);
    if (read.empty()) {
        return;
    }
    const std::string first = read.substr(0, std::min(read.find('\n'), read.size() - 1) + 1);
    host = first.substr(0, first.find('\0'));
}

bool IsVoiceFolderName(const std::string& name) {
    for (PackageId id = kPackageMain; id < kPackageCount; ++id) {
        if (name == PackageInfoFor(id).voiceFolder) {
            return true;
        }
    }
    return false;
}

// A folder is the program's own when it holds its resume state, or nothing
// but the voice packages' subfolders and entries at the program's own file
// names (what an interrupted run leaves, such as a temporary resume state;
// whatever they are, they are refused when used): nothing at all included.
// Anything else is someone else's, such as the user's "bin" folder.
bool IsOwnVersionFolder(const OwnFolder& folder) {
    bool own = true;
    const bool listed = ForEachEntry(folder, [&](const std::string& name) {
        EntryInfo info;
        if (!StatOwnEntry(folder, name, info)) {
            return true;
        }
        // The resume state, or one Cleanup put aside, makes the folder ours.
        if ((name == kIndexFileName || IsSetAsideIndexName(name)) && info.kind == EntryKind::File) {
            own = true;
            return false;
        }
        const bool voice = info.kind == EntryKind::Folder && IsVoiceFolderName(name);
        if (!voice && !IsReservedFileName(name)) {
            own = false;
        }
        return true;
    });
    return listed && own;
}

// Opens (creating it when missing) one level of the version folder, and
// tells the user when it cannot or must not be used.
OwnFolder OpenOwnSubfolder(const OwnFolder& parent, const std::string& name) {
    Result<OwnFolder> folder = parent.Subfolder(name, true);
    if (!folder) {
        Report(folder.Error());
        return {};
    }
    if (!IsOwnVersionFolder(*folder)) {
        Report(Failure::WithPath(FailureKind::ForeignFolder, parent.PathOf(name)));
        return {};
    }
    return *folder;
}

// The resume state holds the done flags, so it is never replaced: the user
// is told which file it is and that Cleanup puts it aside.
int ReportUnreadableResumeState(DownloadState& state, const OwnFolder& versionFolder) {
    state.m_unreadableResumeFolder = versionFolder;
    Report(Failure::WithPath(FailureKind::UnreadableResumeState,
                             versionFolder.PathOf(kIndexFileName)));
    return 0;
}

// The server's index for the package, whole, in the package folder.
Outcome FetchIndex(DownloadState& state, const OwnFolder& packageFolder, FetchDetails& details) {
    const Result<FetchLimits> limits = state.PreparationLimits(kMaxIndexBytes);
    if (!limits) {
        return limits.Error();
    }
    const Outcome fetched =
        FetchFile(state.m_strHost, kHttpPort, state.m_strServerFolder + "/" + kIndexFileName,
                  LocalFile(packageFolder, kIndexFileName), FileMode::AsSent, state.GetProxy(),
                  nullptr, kProgressDivisor, nullptr, *limits, &details);
    EntryInfo info;
    if (fetched && !StatOwnEntry(packageFolder, kIndexFileName, info)) {
        // Gone as soon as it came: there is nothing to tell but the advice.
        return Failure(FailureKind::Stopped);
    }
    return fetched;
}

}  // namespace

int PrepareDownload(DownloadState& state) {
    if (state.m_strProgramPath.rfind(kPathSeparator) == std::string::npos) {
        Report(Failure(FailureKind::CannotFindHomeDirectory));
        return 0;
    }
    const std::string programFolder = state.PackageFolderPath();
    // What was prepared before is for another package, or out of date:
    // nothing (Cleanup included) may use it until this preparation succeeds.
    state.m_versionFolder = {};
    state.m_unreadableResumeFolder = {};
    state.StartPreparationTime();
    // Held open for the whole preparation; a folder that has gone shows up
    // as files that cannot be created in it.
    const OwnFolder packageFolder = OwnFolder::Open(programFolder);
    FetchDetails details{.connection = &state.m_connection};
    if (state.m_strHost.empty()) {
        // Without the list, the primary host serves: nothing to tell.
        state.m_strHost = config::kPrimaryDownloadHost;
        const Result<FetchLimits> limits = state.PreparationLimits(kMaxSiteListBytes);
        if (limits &&
            FetchFile(state.m_strHost, kHttpPort, kSiteListRemotePath,
                      LocalFile(packageFolder, kSiteListFileName), FileMode::Text, state.GetProxy(),
                      nullptr, kProgressDivisor, nullptr, *limits, &details)) {
            TakeHostFromSiteList(packageFolder, state.m_strHost);
        }
    }
    state.m_strHost = CheckedDownloadHost(state.m_strHost);
    if (state.m_strServerFolder.empty()) {
        state.m_strServerFolder = ServerFolderForPackage(g_currentPackage);
    }

    if (const Outcome fetched = FetchIndex(state, packageFolder, details); !fetched) {
        Report(Failure::Wrapping(FailureKind::CannotFetchPackageFile, fetched.Error()));
        return 0;
    }

    const std::string serverIndex = packageFolder.PathOf(kIndexFileName);
    PackageIndex published;
    if (const Outcome read = published.Read(packageFolder, kIndexFileName); !read) {
        Report(read.Error());
        return 0;
    }
    const std::string version = published.GetProductVersion();
    if (version.empty()) {
        Report(Failure(FailureKind::ProductVersionNotSpecified));
        return 0;
    }
    if (!IsSafeIndex(published)) {
        Report(Failure::WithPath(FailureKind::IndexMalformed, serverIndex));
        return 0;
    }

    // The maker's checksums, before anything is written to a version folder.
    ChecksumList checksums;
    SignedRelease release;
    const ChecksumsFound found =
        FetchChecksums(state, packageFolder, published, checksums, release);
    if (found == ChecksumsFound::Refused) {
        return 0;
    }

    // The version folder, and for a voice package its subfolder: each level
    // the program's own, opened without following a link.
    OwnFolder versionFolder = OpenOwnSubfolder(packageFolder, version);
    const char* voice = PackageInfoFor(g_currentPackage).voiceFolder;
    if (versionFolder.IsOpen() && *voice != '\0') {
        versionFolder = OpenOwnSubfolder(versionFolder, voice);
    }
    if (!versionFolder.IsOpen()) {
        return 0;
    }

    const std::string resumeState = versionFolder.PathOf(kIndexFileName);
    if (const Outcome read = state.m_index.Read(versionFolder, kIndexFileName); !read) {
        if (read.Error().kind != FailureKind::IndexUnreadable) {
            return ReportUnreadableResumeState(state, versionFolder);
        }
        // A resume state that is there but cannot be read (no permission, a
        // link, a FIFO) still holds the done flags: it is never replaced.
        EntryInfo existing;
        if (StatOwnEntry(versionFolder, kIndexFileName, existing) ||
            !published.SaveAs(versionFolder, kIndexFileName)) {
            // Failing here without a word would leave the user at a window
            // that does nothing.
            Report(Failure::WithPath(FailureKind::CannotCreateFile, resumeState));
            return 0;
        }
        if (!state.m_index.Read(versionFolder, kIndexFileName)) {
            Report(Failure(FailureKind::InternalError2));
            return 0;
        }
    }
    if (!IsSafeIndex(state.m_index)) {
        return ReportUnreadableResumeState(state, versionFolder);
    }
    // A release rebuilt in the same layout: the parts it changed are fetched
    // again, all in one run.
    if (found == ChecksumsFound::Present &&
        !ClearChangedParts(state.m_index, versionFolder, checksums)) {
        return 0;
    }
    if (!KeepChecksums(state, packageFolder, versionFolder, found, release)) {
        return 0;
    }
    // The parts are the ones published now, whatever the download was
    // started with.
    switch (
        FitResumeState(state.m_index, published, versionFolder, found == ChecksumsFound::Present)) {
        case ResumeFit::Unchanged:
            break;
        case ResumeFit::Refitted: {
            Failure republished =
                Failure::WithPath(FailureKind::PartsRepublished, versionFolder.Path());
            republished.version = version;
            Report(republished);
            break;
        }
        case ResumeFit::Failed:
            Report(Failure::WithPath(FailureKind::ResumeStateNotWritten, resumeState));
            return 0;
    }
    state.m_partDigests.clear();
    if (found == ChecksumsFound::Present && !TakeDigests(checksums, state)) {
        Report(Failure(FailureKind::BadChecksumList));
        return 0;
    }

    state.m_strVersion = version;
    state.m_strVersionFolder = versionFolder.Path();
    state.m_versionFolder = versionFolder;
    return 1;
}
