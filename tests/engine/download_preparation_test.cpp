#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "engine/download_cleanup.h"
#include "framework/build_config.h"
#include "framework/file_utils.h"
#include "framework/texts.h"
#include "support/child_process.h"
#include "support/engine_fixture.h"
#include "support/platform_files.h"

namespace {

using Fault = TestHttpServer::Fault;

const std::string kPrimary = config::kPrimaryDownloadHost;
const std::string kAlternate = config::kAlternateDownloadHost;

class PreparationTest : public EngineTest {
  protected:
    PreparationTest() { PublishSiteList(m_serverRoot.Path(), kPrimary); }

    // The requests for the site list and the index; every preparation also
    // asks for the maker's checksums, which these tests are not about.
    std::vector<TestHttpServer::Request> ListRequests() const {
        std::vector<TestHttpServer::Request> requests;
        for (const auto& r : m_server.Requests()) {
            if (r.path.find("/SHA256SUMS") == std::string::npos) {
                requests.push_back(r);
            }
        }
        return requests;
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& r : ListRequests()) {
            paths.push_back(r.path);
        }
        return paths;
    }
    std::vector<std::string> Hosts() const {
        std::vector<std::string> hosts;
        for (const auto& r : ListRequests()) {
            hosts.push_back(r.host);
        }
        return hosts;
    }
    void PublishIndex(const std::string& content, PackageId id = kPackageMain) {
        WriteFile(m_serverRoot.Path() + ServerFolderForPackage(id) / "pkgindex.txt", content);
    }
};

TEST_F(PreparationTest, FirstPreparationCreatesTheResumeStateFromTheServersIndex) {
    PublishIndex("0\n7.1\n2\n4096\nvelmora.001\n1\nvelmora.002\n0\n");
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(Paths(),
              (std::vector<std::string>{"/download/sites", "/download/quindle7/pkgindex.txt"}));
    EXPECT_EQ(m_state->m_strHost, kPrimary);
    EXPECT_EQ(m_state->m_strServerFolder, "/download/quindle7");
    EXPECT_EQ(m_state->m_strVersion, "7.1");
    EXPECT_EQ(m_state->m_strVersionFolder, ProgramFolder() / "7.1");
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.1/pkgindex.txt"),
              TextAsStored("1\n7.1\n2\n4096\nvelmora.001\n1\nvelmora.002\n0\n"));
    ASSERT_EQ(m_state->m_index.m_parts.size(), 2u);
    EXPECT_EQ(m_state->m_index.m_parts[0].m_done, 1) << "the server's flags are taken";
    EXPECT_EQ(m_packageFolder.Listing(),
              (std::vector<std::string>{"7.1", "7.1/pkgindex.txt", "pkgindex.txt", "sites.txt"}));
}

TEST_F(PreparationTest, ALaterPreparationKeepsTheResumeState) {
    PublishIndex("1\n7.1\n4\n10\na\n0\nb\n0\nc\n0\nd\n0\n");
    ASSERT_EQ(Prepare(), 1);
    WriteFile(ProgramFolder() / "7.1/pkgindex.txt", "1\n7.1\n4\n10\na\n1\nb\n1\nc\n1\nd\n0\n");
    m_server.ClearRequests();
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Paths(), std::vector<std::string>{"/download/quindle7/pkgindex.txt"})
        << "the host is known: no site list";
    EXPECT_EQ(m_state->m_index.FirstUnfinishedPart(), 3);
}

TEST_F(PreparationTest, ANewVersionStartsAFreshFolderAndLeavesTheOldOne) {
    PublishIndex("1\n7.1\n1\n10\na\n0\n");
    ASSERT_EQ(Prepare(), 1);
    WriteFile(ProgramFolder() / "7.1/a", "old part");
    PublishIndex("1\n7.2\n1\n10\na\n0\n");
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(m_state->m_strVersionFolder, ProgramFolder() / "7.2");
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.1/a"), "old part");
    EXPECT_TRUE(FileExists(ProgramFolder() / "7.1/pkgindex.txt"));
}

TEST_F(PreparationTest, VoicePackagesHaveTheirServerFolderAndVoiceSubfolder) {
    const struct {
        PackageId id;
        const char* serverFolder;
        const char* voice;
    } cases[] = {{kPackageTobrin, "/download/ttstobrin", "/ttstobrin"},
                 {kPackageVessa, "/download/ttsvessa", "/ttsvessa"}};
    for (const auto& c : cases) {
        NewState();
        g_currentPackage = c.id;
        PublishIndex("1\n7.1\n1\n10\nvoice.001\n0\n", c.id);
        ASSERT_EQ(Prepare(), 1) << c.voice;
        EXPECT_EQ(m_state->m_strServerFolder, c.serverFolder);
        EXPECT_EQ(ListRequests().back().path, std::string(c.serverFolder) + "/pkgindex.txt");
        EXPECT_EQ(m_state->m_strVersionFolder, ProgramFolder() / ("7.1" + std::string(c.voice)));
        EXPECT_TRUE(FileExists(ProgramFolder() / ("7.1" + std::string(c.voice) + "/pkgindex.txt")));
    }
}

TEST_F(PreparationTest, SiteListChoosesTheAlternateHostOnlyByItsExactName) {
    PublishIndex("1\n7.1\n0\n10\n");
    PublishSiteList(m_serverRoot.Path(), kAlternate);
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(m_state->m_strHost, kAlternate);
    EXPECT_EQ(Hosts(), (std::vector<std::string>{kPrimary, kAlternate}));

    NewState();
    m_server.ClearRequests();
    PublishSiteList(m_serverRoot.Path(), kAlternate + "\nsecond line\n");
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(m_state->m_strHost, kPrimary) << "the line break stays part of the name";

    NewState();
    m_server.SetFault("/download/sites", Fault{.status = 404});
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(m_state->m_strHost, kPrimary) << "a failed site list is silent";
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(PreparationTest, PresetHostsAreCheckedWithoutASiteList) {
    PublishIndex("1\n7.1\n0\n10\n");
    m_state->m_strHost = kAlternate;
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Hosts(), std::vector<std::string>{kAlternate});

    NewState();
    m_server.ClearRequests();
    m_state->m_strHost = "elsewhere.example";
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(m_state->m_strHost, kPrimary);
    EXPECT_EQ(Hosts(), std::vector<std::string>{kPrimary});
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(PreparationTest, APresetServerFolderIsUsedAsGiven) {
    WriteFile(m_serverRoot / "beta/seven/pkgindex.txt", "1\nbeta\n0\n10\n");
    m_state->m_strServerFolder = "/beta/seven";
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(ListRequests().back().path, "/beta/seven/pkgindex.txt");
    EXPECT_EQ(m_state->m_strVersion, "beta");
}

TEST_F(PreparationTest, AnUnreachableServerGivesTheConnectionAdvice) {
    m_state->SetProxy("127.0.0.1:" + std::to_string(UnusedLoopbackPort()));

    EXPECT_EQ(Prepare(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotFetchPackageFile});
    const Failure advice = m_messages.Failures()[0];
    ASSERT_NE(advice.cause, nullptr);
    EXPECT_EQ(advice.cause->kind, FailureKind::LibraryError) << "libcurl's own text comes first";
    EXPECT_NE(advice.cause->text.find("onnect"), std::string::npos) << advice.cause->text;
    EXPECT_EQ(m_state->m_strHost, kPrimary);
    EXPECT_TRUE(m_packageFolder.Listing().empty());
}

TEST_F(PreparationTest, AnIndexAnsweredWithAnErrorPageGivesTheAdviceWithItsText) {
    m_server.SetFault("/download/quindle7/pkgindex.txt",
                      Fault{.status = 503, .body = "<html>busy</html>"});
    EXPECT_EQ(Prepare(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotFetchPackageFile});
    const Failure advice = m_messages.Failures()[0];
    ASSERT_NE(advice.cause, nullptr);
    EXPECT_EQ(advice.cause->kind, FailureKind::FailedToConnect);
}

TEST_F(PreparationTest, ANewerFormatIsIncompatibleAndChangesNothing) {
    PublishIndex("2\n8.0\n0\n10\n");
    m_state->m_index.m_productVersion = "kept";
    m_state->m_strVersion = "7.0";
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::Incompatible});
    EXPECT_EQ(m_state->m_index.m_productVersion, "kept");
    EXPECT_EQ(m_state->m_strVersion, "7.0");
    EXPECT_EQ(m_packageFolder.Listing(), (std::vector<std::string>{"pkgindex.txt", "sites.txt"}));
}

TEST_F(PreparationTest, AMalformedServerIndexIsAFileError) {
    PublishIndex("1\n7.1\n3\n");
    EXPECT_EQ(Prepare(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IndexMalformed});
    EXPECT_EQ(m_messages.Failures()[0].path, ProgramFolder() / "pkgindex.txt");
}

// Names that mean another file, a stream or a device on a Windows disk are
// refused on every system, before anything is written.
TEST_F(PreparationTest, AnIndexWithANameWindowsWouldMisreadIsAFileError) {
    for (const char* index :
         {"1\n7.2.\n1\n10\na\n0\n", "1\nCON\n1\n10\na\n0\n", "1\n7.2\n1\n10\na:b\n0\n",
          // é_03.bin and É_03.bin: one file on a Windows disk.
          "1\n7.2\n2\n10\n\xC3\xA9_03.bin\n0\n\xC3\x89_03.bin\n0\n"}) {
        m_messages.Clear();
        PublishIndex(index);
        EXPECT_EQ(Prepare(), 0) << index;
        ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IndexMalformed}) << index;
        EXPECT_EQ(m_messages.Failures()[0].path, ProgramFolder() / "pkgindex.txt") << index;
        EXPECT_EQ(m_packageFolder.Listing(),
                  (std::vector<std::string>{"pkgindex.txt", "sites.txt"}))
            << index;
    }
}

TEST_F(PreparationTest, AnEmptyVersionIsNotSpecified) {
    for (const char* version : {"", "   \t"}) {
        m_messages.Clear();
        PublishIndex(std::string("1\n") + version + "\n0\n10\n");
        EXPECT_EQ(Prepare(), 0);
        EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::ProductVersionNotSpecified});
    }
}

TEST_F(PreparationTest, ABrokenResumeStateIsAnInternalErrorAndStaysAsItIs) {
    PublishIndex("1\n7.1\n1\n10\na\n0\n");
    const std::string resume = ProgramFolder() / "7.1/pkgindex.txt";
    for (const char* content :
         {"1\n7.1\n5\n10\na\n1\n", "3\n7.1\n0\n10\n", "1\n7.1\n1\n10\n../a\n1\n"}) {
        m_messages.Clear();
        WriteFile(resume, content);
        EXPECT_EQ(Prepare(), 0) << content;
        ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::UnreadableResumeState}) << content;
        EXPECT_EQ(m_messages.Failures()[0].path, resume) << content;
        EXPECT_EQ(ReadFile(resume), content);
    }
}

// Cleanup is the way out: the unreadable record goes aside under a name of
// the program's own, never over an earlier one, and the download starts
// again in the same folder, which the parts left in it do not make foreign.
TEST_F(PreparationTest, CleanupPutsAnUnreadableResumeStateAsideAndStartsAgain) {
    PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
    const PublishedPackage package =
        PublishPackage(m_serverRoot.Path(), kPackageMain, "7.1", 4096, 3 * 4096 + 5, 8);
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    const std::string resume = ProgramFolder() / "7.1/pkgindex.txt";
    for (const char* aside : {".pkgindex-unreadable-1.txt", ".pkgindex-unreadable-2.txt"}) {
        SCOPED_TRACE(aside);
        NewState();
        const std::string cut = ReadFile(resume).substr(0, 9);
        WriteFile(resume, cut);
        m_messages.Clear();
        EXPECT_EQ(Prepare(), 0);
        ASSERT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_EQ(DeleteDownloadFiles(*m_state), 1) << "nothing to clean up, it said";
        EXPECT_EQ(ReadFile(ProgramFolder() / "7.1" / aside), cut);
        m_messages.Clear();
        ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
        ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
        EXPECT_TRUE(m_messages.Texts().empty()) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    }
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.1/.pkgindex-unreadable-1.txt").size(), 9u)
        << "never overwritten";
}

TEST_F(PreparationTest, AResumeStateThatCannotBeWrittenIsReported) {
    PublishIndex("1\n7.1\n1\n10\na\n0\n");
    // The temporary file of the first save cannot be made where a folder
    // of its name stands.
    ASSERT_TRUE(MakeFolder(ProgramFolder() / "7.1"));
    ASSERT_TRUE(MakeFolder(ProgramFolder() / "7.1/pkgindex.txt.tmp"));
    EXPECT_EQ(Prepare(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotCreateFile});
    EXPECT_EQ(m_messages.Failures()[0].path, ProgramFolder() / "7.1/pkgindex.txt");
    EXPECT_EQ(m_state->m_strVersionFolder, "");
}

TEST_F(PreparationTest, AProgramPathWithoutAFolderCannotFindTheHomeDirectory) {
    m_state->m_strProgramPath = "VELMORA_QUINDLE_7";
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotFindHomeDirectory});
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_EQ(m_state->m_strHost, "");
}

}  // namespace

// POSIX modes and ACLs; Windows has neither.
#ifndef _WIN32
namespace {

// The two failures below need a file that a user cannot read; root reads
// everything, so they run the download in a child process as an ordinary user.
class UnreadableFileTest : public PreparationTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(chmod(ProgramFolder().c_str(), 0777), 0);
        PublishIndex("1\n7.1\n1\n10\na\n0\n");
    }
    ChildResult Run(mode_t umaskValue) {
        return RunChild({VELMORA_HEADLESS_DOWNLOAD, m_state->m_strProgramPath, m_server.Address()},
                        umaskValue, true);
    }
};

TEST_F(UnreadableFileTest, AFetchedIndexThatCannotBeReadBack) {
    // With this umask the files the program creates are writable only.
    const ChildResult result = Run(0444);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.errorText, "Velmora Quindle: Failed to read pkgindex file\n");
}

// Gives the files created in `folder` write permission only, whatever the
// creator's umask: a default ACL of owner -w-, group and others nothing.
bool SetWriteOnlyDefaultAcl(const std::string& folder) {
    struct Entry {
        std::uint16_t tag;
        std::uint16_t perm;
        std::uint32_t id;
    };
    struct Acl {
        std::uint32_t version = 2;
        Entry entries[3] = {{0x01, 2, ~0u}, {0x04, 0, ~0u}, {0x20, 0, ~0u}};
    } acl;
    return setxattr(folder.c_str(), "system.posix_acl_default", &acl, sizeof acl, 0) == 0;
}

TEST_F(UnreadableFileTest, AResumeStateWrittenButUnreadable) {
    const std::string version = ProgramFolder() / "7.1";
    ASSERT_TRUE(MakeFolder(version));
    ASSERT_EQ(chmod(version.c_str(), 0777), 0);
    if (!SetWriteOnlyDefaultAcl(version)) {
        GTEST_SKIP() << "the file system here has no ACLs: " << SystemErrorText(errno);
    }
    // The server's index in the package folder stays readable; the resume
    // state written in the version folder does not.
    const ChildResult result = Run(022);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.errorText, "Velmora Quindle: Internal error 2\n");
}

}  // namespace
#endif  // _WIN32
