#include "app/download_command_line_info.h"

namespace {

constexpr int kNoOption = -1;
constexpr int kSiteOption = 0;
constexpr int kDirOption = 1;

}  // namespace

void DownloadCommandLineInfo::ParseParam(const std::string& param, bool isFlag) {
    if (isFlag) {
        // Any other option leaves a waiting one waiting.
        if (param == "site") {
            m_nPendingOption = kSiteOption;
        } else if (param == "dir") {
            m_nPendingOption = kDirOption;
        }
        return;
    }
    if (m_nPendingOption == kSiteOption) {
        m_strSite = param;
    } else if (m_nPendingOption == kDirOption) {
        m_strDir = param;
    }
    m_nPendingOption = kNoOption;
}

bool IsOptionArgument(const std::string& arg) {
    return !arg.empty() && (arg[0] == '-' || arg[0] == '/');
}

void ParseCommandLine(int argc, const char* const* argv, DownloadCommandLineInfo& info) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool isFlag = IsOptionArgument(arg);
        info.ParseParam(isFlag ? arg.substr(1) : arg, isFlag);
    }
}
