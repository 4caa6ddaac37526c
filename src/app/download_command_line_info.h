#pragma once

#include <string>

// The command line: "-site HOST" names the download host, "-dir FOLDER" the
// folder on it; "/" works as well as "-". An option takes the next argument
// that is not itself an option; a later occurrence replaces an earlier value.
class DownloadCommandLineInfo {
  public:
    // One argument: `isFlag` when it began with "-" or "/", which the caller
    // has removed.
    void ParseParam(const std::string& param, bool isFlag);

    std::string m_strSite;
    std::string m_strDir;
    // Which option waits for its value: -1 none, 0 "site", 1 "dir".
    int m_nPendingOption = -1;
};

// Whether the argument is an option: it begins with "-" or "/".
bool IsOptionArgument(const std::string& arg);

// Hands every argument after the program name to ParseParam, in order.
void ParseCommandLine(int argc, const char* const* argv, DownloadCommandLineInfo& info);
