#include "engine/download_preparation.h"

#include <cstdio>

#include "catalogue/download_hosts.h"
#include "catalogue/package_files.h"
#include "catalogue/package_table.h"
#include "catalogue/server_names.h"
#include "engine/download_state.h"
#include "framework/build_config.h"
#include "framework/file_utils.h"
#include "framework/message_box.h"
#include "framework/texts.h"

namespace {

// The site list's first line is read like a line of the index.
constexpr int kSiteLineBufferSize = 1024;

std::string ConnectionAdvice(const std::string& error) {
    return error + text::kConnectionAdvice + config::kSingleFileDownloadPage;
}

// Reads the site list's first line exactly as stored, line break included.
void TakeHostFromSiteList(const std::string& path, std::string& host) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return;
    }
    char line[kSiteLineBufferSize];
    if (std::fgets(line, sizeof line, file) != nullptr) {
        host = line;
    }
    std::fclose(file);
}

}  // namespace

int PrepareDownload(DownloadState& state) {
    const std::string& program = state.m_strProgramPath;
    std::size_t separator = program.rfind('/');
    if (separator == std::string::npos) {
        separator = program.rfind('\\');
    }
    if (separator == std::string::npos) {
        ShowMessageBox(text::kCannotFindHomeDirectory);
        return 0;
    }
    const std::string programFolder = program.substr(0, separator);
    std::string error;

    if (state.m_strHost.empty()) {
        state.m_strHost = config::kPrimaryDownloadHost;
        const std::string siteList = programFolder + "/" + kSiteListFileName;
        if (DownloadFile(state.m_strHost, kHttpPort, kSiteListRemotePath, siteList, 0, error,
                         state.GetProxy(), nullptr, kProgressDivisor, nullptr, state.m_timeouts)) {
            TakeHostFromSiteList(siteList, state.m_strHost);
        }
    }
    state.m_strHost = CheckedDownloadHost(state.m_strHost);
    if (state.m_strServerFolder.empty()) {
        state.m_strServerFolder = ServerFolderForPackage(g_currentPackage);
    }

    const std::string serverIndex = programFolder + "/" + kIndexFileName;
    error.clear();
    if (!DownloadFile(state.m_strHost, kHttpPort, state.m_strServerFolder + "/" + kIndexFileName,
                      serverIndex, 0, error, state.GetProxy(), nullptr, kProgressDivisor, nullptr,
                      state.m_timeouts) ||
        !FileExists(serverIndex)) {
        ShowMessageBox(ConnectionAdvice(error));
        return 0;
    }

    PackageIndex published;
    IndexLoadError reason = CannotOpen;
    if (!published.Load(serverIndex, reason)) {
        if (reason == Incompatible) {
            ShowMessageBox(text::kIncompatibleBefore + std::string(config::kPrimaryDownloadHost) +
                           text::kIncompatibleAfter);
        } else if (reason == Malformed) {
            ShowMessageBox(text::kFileError + serverIndex);
        } else {
            ShowMessageBox(text::kFailedToReadIndex);
        }
        return 0;
    }
    const std::string version = published.GetProductVersion();
    if (version.empty()) {
        ShowMessageBox(text::kProductVersionNotSpecified);
        return 0;
    }
    if (!IsSafeIndex(published)) {
        ShowMessageBox(text::kFileError + serverIndex);
        return 0;
    }

    const std::string versionFolder =
        AppendVoiceFolder(g_currentPackage, programFolder + "/" + version);
    MakeDirectoryTree(versionFolder + "/");

    const std::string resumeState = versionFolder + "/" + kIndexFileName;
    if (!state.m_index.Load(resumeState, reason)) {
        if (reason != CannotOpen) {
            ShowMessageBox(text::kInternalError3);
            return 0;
        }
        if (!published.SaveAs(resumeState)) {
            // Failing here without a word would leave the user at a window
            // that does nothing.
            ShowMessageBox(text::kCannotCreateFile + resumeState);
            return 0;
        }
        if (!state.m_index.Load(resumeState, reason)) {
            ShowMessageBox(text::kInternalError2);
            return 0;
        }
    }
    if (!IsSafeIndex(state.m_index)) {
        ShowMessageBox(text::kInternalError3);
        return 0;
    }

    state.m_strVersion = version;
    state.m_strVersionFolder = versionFolder;
    return 1;
}
