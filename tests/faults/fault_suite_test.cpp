// Faults of the server, the proxy, the index and the local disk, each ending
// in a clear message with nothing lost and nothing written outside the
// package folder.

#include <algorithm>

#include "faults/fault_fixture.h"
#include "support/platform_files.h"

namespace {

TEST_F(FaultTest, ServerFaultsOnAPartEndInAClearMessage) {
    const std::string middle = m_package.RemotePath(2);
    const std::string wrongSize = "Incorrect size: " + Part(2) + " Please click download again";
    const std::string http = "Failed to connect to the server. Please try later";
    const std::string stalled =
        "The server sent nothing for 1 second; the connection timed out. Please try later";
    const struct {
        const char* name;
        std::vector<Fault> faults;
        std::string message;  // empty: success; "*": libcurl's text, then " Please try later"
    } cases[] = {
        // The whole part arrived, only the announced length was wrong: it
        // is taken without asking for the rest, which does not exist.
        {"announced more than sent", {Fault{.announceExtra = 500}}, ""},
        // A server that honours ranges lets every attempt go on from where
        // the last one stopped; one that does not sees three failures.
        {"dropped mid-body", {Fault{.closeAfterBytes = 3000, .ignoreRange = true}}, "*"},
        {"dropped mid-body, continued", {Fault{.closeAfterBytes = 3000}}, ""},
        {"no length, short body",
         {Fault{.body = m_package.PartBytes(2).substr(7),
                .replaceBody = true,
                .omitContentLength = true}},
         wrongSize},
        {"longer than a part",
         {Fault{.body = m_package.PartBytes(2) + "tail", .replaceBody = true}},
         "The server sent more than 8192 bytes for this file; what arrived was discarded. Please "
         "try later"},
        {"404 page", {Fault{.status = 404, .body = "<html>404</html>"}}, http},
        {"500 page", {Fault{.status = 500, .body = "<html>500</html>"}}, http},
        {"503 page", {Fault{.status = 503, .body = "<html>503</html>"}}, http},
        {"fails twice, then works", {Fault{.status = 503, .times = 2}}, ""},
        {"headers, then silence", {Fault{.stallAfterBytes = 0}}, stalled},
        {"silence before the headers", {Fault{.stallBeforeHeaders = true}}, stalled},
        {"drip below the stall limit", {Fault{.dripIntervalMs = 400, .dripBytes = 4096}}, ""},
        {"drip beyond the stall limit",
         {Fault{.dripIntervalMs = 1600, .dripBytes = 4096, .ignoreRange = true}},
         stalled},
        {"drip beyond the stall limit, continued",
         {Fault{.dripIntervalMs = 1600, .dripBytes = 4096}},
         ""},
        {"redirect to a missing path",
         {Fault{.status = 302, .location = m_package.RemotePath(2) + "x"}},
         http},
        {"redirect to a file", {Fault{.status = 302, .location = "file:///etc/passwd"}}, "*"},
        {"redirect to ftp", {Fault{.status = 301, .location = "ftp://127.0.0.1/x"}}, "*"},
        {"headers of 100 KiB", {Fault{.headerPadding = 100 * 1024 + 1}}, "*"},
    };
    for (const auto& c : cases) {
        Fresh();
        for (const Fault& fault : c.faults) {
            m_server.AddFault(middle, fault);
        }
        ASSERT_EQ(Prepare(), 1) << c.name;
        const int result = Download();
        if (c.message.empty()) {
            EXPECT_EQ(result, 0) << c.name << ": " << OnlyMessage();
            EXPECT_TRUE(m_messages.Texts().empty()) << c.name;
            EXPECT_EQ(ReadFile(Installer()), m_package.installer) << c.name;
        } else {
            EXPECT_EQ(result, 9) << c.name;
            const std::string message = OnlyMessage();
            if (c.message == "*") {
                EXPECT_TRUE(EndsWith(message, kPleaseTryLater) && message.size() > 20)
                    << c.name << ": " << message;
            } else {
                EXPECT_EQ(message, c.message) << c.name;
            }
            EXPECT_FALSE(FileExists(Installer())) << c.name;
            ExpectNothingLost(std::string(c.name) + ", before the next Download");
            // The parts before it are kept; the next Download gets the rest.
            m_server.ClearFaults();
            m_messages.Clear();
            EXPECT_EQ(Download(), 0) << c.name << ": " << OnlyMessage();
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(m_server.CountRequests(m_package.RemotePath(static_cast<std::size_t>(i))),
                          1)
                    << c.name;
            }
        }
        ExpectNothingLost(c.name);
    }
}

TEST_F(FaultTest, NonsenseContentLengthsNeverGiveAWrongInstaller) {
    for (const char* length : {"crap", "-6", "36893488147419103232", "99999999999"}) {
        Fresh();
        m_server.SetFault(m_package.RemotePath(1), Fault{.contentLength = length});
        ASSERT_EQ(Prepare(), 1);
        if (Download() != 0) {
            EXPECT_TRUE(EndsWith(OnlyMessage(), kPleaseTryLater))
                << length << ": " << OnlyMessage();
        }
        ExpectNothingLost(length);
    }
}

TEST_F(FaultTest, ARedirectToAnotherHostIsFollowed) {
    // The proxy answers for every host, the mirror included.
    WriteFile(m_serverRoot / "mirror/velmora.004", m_package.PartBytes(3));
    m_server.SetFault(
        m_package.RemotePath(3),
        Fault{.status = 302, .location = "http://mirror.velmora.example/mirror/velmora.004"});
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    const auto requests = m_server.Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const TestHttpServer::Request& r) {
        return r.host == "mirror.velmora.example" && r.path == "/mirror/velmora.004";
    }));
    ExpectNothingLost("redirect to a mirror");
}

TEST_F(FaultTest, ProxyFaults) {
    const struct {
        const char* name;
        Fault fault;
        std::string says;
    } pages[] = {{"407", Fault{.status = 407, .body = "<html>login</html>"},
                  "The proxy server asks for a user name and password (status 407), which this "
                  "program cannot give. Please set a proxy that needs no login."},
                 {"502", Fault{.status = 502, .body = "<html>bad gateway</html>"},
                  "Failed to connect to the server."}};
    for (const auto& page : pages) {
        Fresh();
        m_server.SetFault("/download/quindle7/pkgindex.txt", page.fault);
        EXPECT_EQ(Prepare(), 0);
        EXPECT_EQ(OnlyMessage().rfind(page.says + "\r\n\r\nIn most cases", 0), 0u) << page.name;
        ExpectNothingLost(page.name);
    }

    Fresh();
    m_state->SetProxy("127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
    EXPECT_EQ(Prepare(), 0);
    EXPECT_NE(OnlyMessage().find("\r\n\r\nIn most cases"), std::string::npos);
    EXPECT_GT(OnlyMessage().find("\r\n\r\n"), 10u) << "libcurl's text comes first";

    // The proxy goes away between the preparation and the parts.
    Fresh();
    ASSERT_EQ(Prepare(), 1);
    m_state->SetProxy("127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
    EXPECT_EQ(Download(), 9);
    EXPECT_TRUE(EndsWith(OnlyMessage(), kPleaseTryLater)) << OnlyMessage();
    ExpectNothingLost("proxy gone");
}

TEST_F(FaultTest, BadIndexContentIsRefusedBeforeAnythingIsCreated) {
    const std::string fileError = "File error: " + PackageFolder() / "pkgindex.txt";
    const std::string tenMegabytes(10 * 1024 * 1024, 'v');
    const struct {
        const char* name;
        std::string content;
        std::string message;
    } cases[] = {
        {"../x", "1\n7.7\n1\n10\n../x\n0\n", fileError},
        {"/etc/x", "1\n7.7\n1\n10\n/etc/x\n0\n", fileError},
        {"a/b", "1\n7.7\n1\n10\na/b\n0\n", fileError},
        {"a\\b", "1\n7.7\n1\n10\na\\b\n0\n", fileError},
        {".", "1\n7.7\n1\n10\n.\n0\n", fileError},
        {"..", "1\n7.7\n1\n10\n..\n0\n", fileError},
        {"empty name", "1\n7.7\n1\n10\n\n0\n", fileError},
        {"control character", "1\n7.7\n1\n10\na\x1b[2Jb\n0\n", fileError},
        {"name of 256 bytes", "1\n7.7\n1\n10\n" + std::string(256, 'n') + "\n0\n", fileError},
        {"duplicate names", "1\n7.7\n2\n10\na\n0\na\n0\n", fileError},
        {"version ../..", "1\n../..\n1\n10\na\n0\n", fileError},
        {"version .", "1\n.\n1\n10\na\n0\n", fileError},
        {"version sub/dir", "1\nsub/dir\n1\n10\na\n0\n", fileError},
        {"the resume state's name", "1\n7.7\n1\n10\npkgindex.txt\n0\n", fileError},
        {"the installer's name", "1\n7.7\n1\n10\nvelmora.exe\n0\n", fileError},
        {"huge part count", "1\n7.7\n2147483647\n10\na\n0\n", fileError},
        {"zero part size", "1\n7.7\n2\n0\na\n0\nb\n0\n", fileError},
        {"negative part size", "1\n7.7\n2\n-10\na\n0\nb\n0\n", fileError},
        {"10 MB line", "1\n" + tenMegabytes + "\n1\n10\na\n0\n", fileError},
        {"binary garbage", std::string(kGarbage, sizeof kGarbage - 1), fileError},
        {"empty file", "", fileError},
        {"truncated", "1\n7.7\n2\n10\na\n0\nb", fileError},
        {"newer format", "2\n8.0\n0\n10\n",
         "Your Velmora Quindle program is not compatible with the current release. Please download "
         "the "
         "newer version from download.velmora.example and try again. Thank you."},
    };
    for (const auto& c : cases) {
        Fresh();
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt", c.content);
        EXPECT_EQ(Prepare(), 0) << c.name;
        EXPECT_EQ(OnlyMessage(), c.message) << c.name;
        std::vector<std::string> created;
        for (const std::string& entry : m_sandbox.Listing()) {
            if (entry.rfind("package/", 0) == 0) {
                created.push_back(entry);
            }
        }
        EXPECT_EQ(created, (std::vector<std::string>{"package/pkgindex.txt", "package/sites.txt"}))
            << c.name;
        ExpectNothingLost(c.name);
    }
}

TEST_F(FaultTest, IndexesWithWindowsLineEndsOrAByteOrderMarkAreRead) {
    for (const std::string& content :
         {std::string("1\r\n7.7\r\n1\r\n10\r\na\r\n0\r\n"), std::string("\xEF\xBB\xBF"
                                                                        "1\n7.7\n1\n10\na\n0\n")}) {
        Fresh();
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt", content);
        EXPECT_EQ(Prepare(), 1) << OnlyMessage();
        EXPECT_EQ(m_state->m_strVersion, "7.7");
        ASSERT_EQ(m_state->m_index.m_parts.size(), 1u);
        EXPECT_EQ(m_state->m_index.m_parts[0].m_name, "a");
    }
}

TEST_F(FaultTest, LocalFaults) {
    // The program's folder has gone.
    m_state->m_strProgramPath = m_sandbox / "gone/VELMORA_QUINDLE_7";
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(
        OnlyMessage().rfind("Cannot create file: " + m_sandbox / "gone/pkgindex.txt\r\n\r\n", 0),
        0u)
        << OnlyMessage();

    // A finished part cut short between runs: the join finds it, the next
    // Download fetches it again.
    Fresh();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    RemoveFile(Installer());
    ASSERT_TRUE(SetFileSize(Part(3), 100));
    NewState();
    m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
    ASSERT_EQ(Prepare(), 1);
    m_server.ClearRequests();
    EXPECT_EQ(Download(), 9);
    EXPECT_EQ(OnlyKindAndPath(), std::pair(FailureKind::IncorrectSize, Part(3)));
    m_messages.Clear();
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(m_server.Requests().size(), 1u) << "only the cut part is fetched";
    ExpectNothingLost("a part cut short");

    // A link at a part's place is not followed.
    Fresh();
    ASSERT_EQ(Prepare(), 1);
    if (!MakeSymbolicLink(m_sandbox / "outside/precious", Part(1))) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
    EXPECT_EQ(Download(), 9);
    ASSERT_EQ(OnlyFailure().kind, FailureKind::PartGaveUp);
    EXPECT_EQ(OnlyFailure().cause->kind, FailureKind::CannotCreateFile);
    EXPECT_EQ(OnlyFailure().cause->path, Part(1));
    ExpectNothingLost("a link in the way");
}

// A file size limit stands in for a full disk: writes past it fail.
TEST_F(FaultTest, AFullDiskWhileWritingAPartSavingTheStateOrJoining) {
    if (!HasFileSizeLimit()) {
        GTEST_SKIP() << kNoFileSizeLimit;
    }
    const struct {
        const char* name;
        long limit;
        std::string message;
    } cases[] = {
        {"part", kPartSize / 2, "Failed to write to file: " + Part(0) + kPleaseTryLater},
        {"join", 3 * kPartSize, "Failed to write to file: " + Installer()},
    };
    for (const auto& c : cases) {
        Fresh();
        ASSERT_EQ(Prepare(), 1);
        const ChildResult full = RunHeadless(c.limit);
        EXPECT_EQ(full.exitStatus, 9) << c.name;
        EXPECT_EQ(full.errorText, std::string("Velmora Quindle: ") + c.message + "\n") << c.name;
        EXPECT_FALSE(FileExists(Installer())) << c.name;
        ExpectNothingLost(c.name);
        const ChildResult freed = RunHeadless();
        EXPECT_EQ(freed.exitStatus, 0) << c.name << ": " << freed.errorText;
        ExpectNothingLost(c.name);
    }

    // The resume state, with names long enough to make it the largest file.
    PackageIndex index;
    index.m_productVersion = "7.7";
    index.m_partSize = 100;
    for (int i = 0; i < 30; ++i) {
        const std::string name = std::string(200, 'p') + std::to_string(i);
        index.m_parts.push_back({name, 0});
        WriteFile(m_serverRoot / ("download/quindle7/" + name), std::string(100, 'x'));
    }
    index.SaveAs(m_serverRoot / "download/quindle7/pkgindex.txt");
    Fresh();
    ASSERT_EQ(Prepare(), 1);
    const std::string resume = PackageFolder() / "7.7/pkgindex.txt";
    int result = 0;
    {
        ScopedFileSizeLimit full(3000);
        result = Download();
    }
    EXPECT_EQ(result, 9);
    EXPECT_EQ(OnlyKindAndPath(), std::pair(FailureKind::ResumeStateNotWritten, resume));
    PackageIndex stored;
    IndexLoadError error = CannotOpen;
    ASSERT_EQ(stored.Load(resume, error), 1) << "the previous state is intact";
    EXPECT_EQ(stored.FirstUnfinishedPart(), 0);
    EXPECT_FALSE(FileExists(resume + ".tmp"));
    EXPECT_EQ(Outside(), m_outsideBefore);
}

TEST_F(FaultTest, AReadOnlyPackageFolderSaysWhatCannotBeWritten) {
    if (!HasPosixModes()) {
        GTEST_SKIP() << kNoPosixModes;
    }
    namespace fs = std::filesystem;
    fs::permissions(PackageFolder(), fs::perms(0555));
    const ChildResult result = RunHeadless(-1, true);
    fs::permissions(PackageFolder(), fs::perms(0755));
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(
        result.errorText.rfind(
            "Velmora Quindle: Cannot create file: " + PackageFolder() / "pkgindex.txt\r\n", 0),
        0u)
        << result.errorText;
    ExpectNothingLost("read-only folder");
}

}  // namespace
