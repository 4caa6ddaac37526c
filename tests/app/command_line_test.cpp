#include "app/download_command_line_info.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

DownloadCommandLineInfo Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "VELMORA_QUINDLE_7");
    DownloadCommandLineInfo info;
    ParseCommandLine(static_cast<int>(args.size()), args.data(), info);
    return info;
}

TEST(CommandLineTest, OptionsTakeTheNextPlainArgument) {
    const struct {
        std::vector<const char*> args;
        const char* site;
        const char* dir;
    } cases[] = {
        {{}, "", ""},
        {{"/site", "download.velmora.example"}, "download.velmora.example", ""},
        {{"-site", "a", "-dir", "beta/x"}, "a", "beta/x"},
        {{"-dir", "d", "/site", "s"}, "s", "d"},
        {{"/site"}, "", ""},
        {{"/site", "A", "B"}, "A", ""},
        {{"/site", "/x", "A"}, "A", ""},
        {{"/site", "/dir", "A"}, "", "A"},
        {{"/site", "A", "/site", "B"}, "B", ""},
        {{"/SITE", "A"}, "", ""},
        {{"/sites", "A"}, "", ""},
        {{"/dir", "/download/x"}, "", ""},
        {{"/dir", "/download/x", "y"}, "", "y"},
        {{"site", "A"}, "", ""},
    };
    for (const auto& c : cases) {
        const DownloadCommandLineInfo info = Parse(c.args);
        std::string joined;
        for (const char* a : c.args) {
            joined += std::string(a) + " ";
        }
        EXPECT_EQ(info.m_strSite, c.site) << joined;
        EXPECT_EQ(info.m_strDir, c.dir) << joined;
    }
}

TEST(CommandLineTest, AValueEndsTheWait) {
    DownloadCommandLineInfo info = Parse({"-site", "A"});
    EXPECT_EQ(info.m_nPendingOption, -1);
    info = Parse({"-dir"});
    EXPECT_EQ(info.m_nPendingOption, 1);
}

}  // namespace
