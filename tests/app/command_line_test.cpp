#include "app/download_command_line_info.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/command_line_answer.h"

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

CommandLineAnswer Answer(std::vector<const char*> args,
                         const char* program = "/usr/lib/velmora-quindle/VELMORA_QUINDLE_7") {
    args.insert(args.begin(), program);
    return AnswerCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineAnswerTest, HelpAndVersionAnswerAndEnd) {
    for (const char* help : {"--help", "-h", "/?", "-?"}) {
        const CommandLineAnswer answer = Answer({help});
        EXPECT_TRUE(answer.answered) << help;
        EXPECT_EQ(answer.output.rfind("Usage: VELMORA_QUINDLE_7 [-site HOST] [-dir FOLDER]\n", 0),
                  0u)
            << answer.output;
        for (const char* named : {"-site HOST", "-dir FOLDER", "/site, /dir", "--help", "--version",
                                  "download.velmora.example", "mirror.velmora.example"}) {
            EXPECT_NE(answer.output.find(named), std::string::npos) << named;
        }
        EXPECT_EQ(answer.warnings, "");
    }
    const CommandLineAnswer version = Answer({"--version"});
    EXPECT_TRUE(version.answered);
    EXPECT_EQ(version.output, "VELMORA_QUINDLE_7 (Velmora Quindle) 1.0\n");
    // The first asked for wins, wherever it stands, values included.
    EXPECT_EQ(Answer({"-site", "h", "--version", "--help"}).output, version.output);
    EXPECT_EQ(Answer({"--help", "--version"}).output.rfind("Usage:", 0), 0u);
    // Named as called, also with Windows' separator.
    EXPECT_EQ(Answer({"--version"}, "C:\\Users\\u\\Downloads\\setup.exe").output,
              "setup.exe (Velmora Quindle) 1.0\n");
}

// Exactly what the start-up ignores is named, and only that: an option's
// value is no stray argument, and "/" starts an option as "-" does.
TEST(CommandLineAnswerTest, WarnsOfWhatTheStartUpIgnoresAndGoesOn) {
    const struct {
        std::vector<const char*> args;
        std::vector<const char*> warnings;
    } cases[] = {
        {{}, {}},
        {{"-site", "download.velmora.example", "/dir", "beta/x"}, {}},
        {{"-x"}, {"unknown option \"-x\" ignored"}},
        {{"/x", "-style"}, {"unknown option \"/x\" ignored", "unknown option \"-style\" ignored"}},
        {{"-site", "/x", "A"}, {"unknown option \"/x\" ignored"}},
        {{"--site", "h"}, {"unknown option \"--site\" ignored", "argument \"h\" ignored"}},
        {{"-SITE", "A"}, {"unknown option \"-SITE\" ignored", "argument \"A\" ignored"}},
        {{"/site", "A", "B"}, {"argument \"B\" ignored"}},
        {{"-site", "-dir", "d"}, {"option \"-site\" without a value ignored"}},
        {{"-dir", "/download/x"},
         {"unknown option \"/download/x\" ignored", "option \"-dir\" without a value ignored"}},
    };
    for (const auto& c : cases) {
        std::string expected;
        for (const char* warning : c.warnings) {
            expected += std::string("VELMORA_QUINDLE_7: ") + warning + "\n";
        }
        const CommandLineAnswer answer = Answer(c.args);
        std::string joined;
        for (const char* a : c.args) {
            joined += std::string(a) + " ";
        }
        EXPECT_EQ(answer.warnings, expected) << joined;
        EXPECT_FALSE(answer.answered) << joined;
    }
    const CommandLineAnswer help = Answer({"-x", "--help"});
    EXPECT_TRUE(help.answered);
    EXPECT_EQ(help.warnings, "VELMORA_QUINDLE_7: unknown option \"-x\" ignored\n");
}

}  // namespace
