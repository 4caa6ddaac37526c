// Downloads checked against the maker's signed checksums, and parts cut
// short continued with byte ranges, through the real engine and the
// loopback server.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "catalogue/checksum_list.h"
#include "catalogue/minisign.h"
#include "catalogue/signed_versions.h"
#include "framework/file_utils.h"
#include "support/child_process.h"
#include "support/engine_fixture.h"
#include "support/platform_files.h"
#include "support/test_key.h"
#include "support/wait.h"

namespace {

using Fault = TestHttpServer::Fault;

constexpr int kPartSize = 65536;

class VerifiedDownloadTest : public EngineTest {
  protected:
    VerifiedDownloadTest() {
        m_package = PublishPackage(m_serverRoot.Path(), kPackageMain, "8.1", kPartSize,
                                   6 * kPartSize + 4321, 13);
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
    }
    std::string Served(const std::string& name) const {
        return m_serverRoot.Path() + m_package.serverFolder + kPathSeparator + name;
    }
    // The list the publisher writes; `change` may spoil it before it is signed.
    std::string Checksums(const std::function<void(ChecksumList&)>& change = {}) const {
        ChecksumList list;
        for (std::size_t i = 0; i < m_package.partNames.size(); ++i) {
            list.Add(m_package.partNames[i], DigestOf(m_package.PartBytes(i)));
        }
        list.Add("velmora.exe", DigestOf(m_package.installer));
        list.Add("pkgindex.txt", DigestOf(ReadFile(Served("pkgindex.txt"))));
        if (change) {
            change(list);
        }
        return list.Text();
    }
    static std::string Signed(const std::string& package, const std::string& version) {
        return ReleaseComment({package, std::time(nullptr), version});
    }
    void PublishChecksums(const std::string& sums, const TestKey* key = nullptr,
                          const std::string& comment = Signed("main", "8.1")) {
        WriteFile(Served("SHA256SUMS"), sums);
        if (key != nullptr) {
            WriteFile(Served("SHA256SUMS.minisig"), SignMinisign(key->secret, sums, comment));
        }
    }
    int Requested(const std::string& suffix) const {
        int count = 0;
        for (const auto& request : m_server.Requests()) {
            count += request.path.size() >= suffix.size() &&
                     request.path.compare(request.path.size() - suffix.size(), suffix.size(),
                                          suffix) == 0;
        }
        return count;
    }
    int PartsRequested() const {
        int count = 0;
        for (std::size_t i = 0; i < m_package.partNames.size(); ++i) {
            count += m_server.CountRequests(m_package.RemotePath(i));
        }
        return count;
    }
    std::string Part(std::size_t i) const {
        return VersionFolder(m_package) + kPathSeparator + m_package.partNames[i];
    }

    PublishedPackage m_package;
    TestKey m_key;
};

TEST_F(VerifiedDownloadTest, ASignedPackageDownloadsAndASpoiltPartIsFetchedAgain) {
    PublishChecksums(Checksums(), &m_key);
    m_state->m_strPublicKey = m_key.publicLine;
    std::string flipped = m_package.PartBytes(2);
    flipped[777] = static_cast<char>(flipped[777] ^ 0x10);
    m_server.SetFault(m_package.RemotePath(2),
                      Fault{.body = flipped, .replaceBody = true, .times = 1});
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(Requested("/SHA256SUMS.minisig"), 1);
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);
    EXPECT_EQ(m_server.CountRequests(m_package.RemotePath(2)), 2) << "the flipped byte was found";
    EXPECT_TRUE(m_messages.Texts().empty());

    // Wrong every time: the Part's message after the third attempt, no file.
    NewState();
    m_state->m_strPublicKey = m_key.publicLine;
    std::filesystem::remove_all(VersionFolder(m_package));
    m_server.SetFault(m_package.RemotePath(2), Fault{.body = flipped, .replaceBody = true});
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::PartGaveUp});
    EXPECT_EQ(m_messages.Failures()[0].cause->kind, FailureKind::PartMismatch);
    EXPECT_EQ(m_messages.Failures()[0].cause->name, "velmora.003");
    EXPECT_FALSE(FileExists(Part(2)));
}

TEST_F(VerifiedDownloadTest, WithAKeyBuiltInATamperedOrMissingSignatureStopsBeforeAnyPart) {
    const FailureKind bad = FailureKind::BadSignature;
    const FailureKind none = FailureKind::NotSigned;
    const TestKey other;
    const std::string sums = Checksums();
    std::string tampered = sums;
    tampered[5] = tampered[5] == 'a' ? 'b' : 'a';
    const struct {
        const char* name;
        std::function<void()> publish;
        FailureKind kind;
    } cases[] = {
        {"a changed list",
         [&] {
             PublishChecksums(sums, &m_key);
             WriteFile(Served("SHA256SUMS"), tampered);
         },
         bad},
        {"a garbled signature",
         [&] {
             PublishChecksums(sums);
             WriteFile(Served("SHA256SUMS.minisig"), "untrusted comment: x\nnonsense\n");
         },
         bad},
        {"another key's signature", [&] { PublishChecksums(sums, &other); }, bad},
        {"signed for another version",
         [&] { PublishChecksums(sums, &m_key, Signed("main", "8.0")); }, bad},
        {"signed for another package",
         [&] { PublishChecksums(sums, &m_key, Signed("tobrin", "8.1")); }, bad},
        {"signed with the version alone, as releases once were",
         [&] { PublishChecksums(sums, &m_key, "version:8.1"); }, bad},
        {"signed without a time",
         [&] { PublishChecksums(sums, &m_key, "package:main version:8.1"); }, bad},
        {"no signature", [&] { PublishChecksums(sums); }, none},
        {"no list at all", [] {}, none},
    };
    for (const auto& c : cases) {
        NewState();
        m_state->m_strPublicKey = m_key.publicLine;
        RemoveFile(Served("SHA256SUMS"));
        RemoveFile(Served("SHA256SUMS.minisig"));
        m_messages.Clear();
        m_server.ClearRequests();
        c.publish();
        EXPECT_EQ(Prepare(), 0) << c.name;
        EXPECT_EQ(m_messages.Kinds(), std::vector{c.kind}) << c.name;
        m_state->OnDownload();  // prepares again, and fails again
        WaitForWorker();
        EXPECT_EQ(PartsRequested(), 0) << c.name << ": nothing is downloaded";
        EXPECT_FALSE(FileExists(VersionFolder(m_package) / "SHA256SUMS")) << c.name;
    }
}

TEST_F(VerifiedDownloadTest, WithoutAKeyAListIsUsedWhenThereAndMustFitTheIndex) {
    // No list: exactly as without checksums.
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Requested("/SHA256SUMS.minisig"), 0);
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);

    const struct {
        const char* name;
        std::function<void(ChecksumList&)> change;
    } misfits[] = {
        {"a part left out",
         [](ChecksumList& list) {
             list = {};
             list.Add("velmora.001", {});
         }},
        {"another version's index",
         [](ChecksumList& list) {
             ChecksumList other;
             other.Add("pkgindex.txt", DigestOf("1\n8.0\n0\n10\n"));
             list = other;
         }},
    };
    for (const auto& c : misfits) {
        NewState();
        m_messages.Clear();
        m_server.ClearRequests();
        ChecksumList list;
        PublishChecksums(Checksums(c.change));
        EXPECT_EQ(Prepare(), 0) << c.name;
        EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::BadChecksumList}) << c.name;
    }

    // A fitting list is used: a flipped byte is found without any key.
    NewState();
    m_messages.Clear();
    PublishChecksums(Checksums());
    std::string flipped = m_package.PartBytes(4);
    flipped[0] = static_cast<char>(~flipped[0]);
    m_server.SetFault(m_package.RemotePath(4),
                      Fault{.body = flipped, .replaceBody = true, .times = 1});
    std::filesystem::remove_all(VersionFolder(m_package));
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    m_server.ClearRequests();
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(m_server.CountRequests(m_package.RemotePath(4)), 2);
    EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);
}

TEST_F(VerifiedDownloadTest, ThePartThatSpoilsTheInstallerIsNamedAndFetchedAgain) {
    PublishChecksums(Checksums());
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    // A part changed on disk after it was checked and recorded.
    RemoveFile(Installer(m_package));
    std::string spoilt = m_package.PartBytes(3);
    spoilt[100] = static_cast<char>(~spoilt[100]);
    WriteFile(Part(3), spoilt);
    NewState();
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IncorrectData});
    EXPECT_EQ(m_messages.Failures()[0].paths, std::vector{Part(3)});
    EXPECT_FALSE(FileExists(Installer(m_package)));
    EXPECT_FALSE(FileExists(VersionFolder(m_package) / "velmora.exe.partial"));
    m_messages.Clear();
    m_server.ClearRequests();
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(PartsRequested(), 1);
    EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);

    // Every part right, the installer's line wrong: the installer is named.
    PublishChecksums(Checksums([](ChecksumList& list) {
        ChecksumList wrong;
        for (const std::string name :
             {"velmora.001", "velmora.002", "velmora.003", "velmora.004", "velmora.005",
              "velmora.006", "velmora.007", "pkgindex.txt"}) {
            wrong.Add(name, *list.Find(name));
        }
        wrong.Add("velmora.exe", {});
        list = wrong;
    }));
    RemoveFile(Installer(m_package));
    NewState();
    m_messages.Clear();
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(Download(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::InstallerMismatch});
    EXPECT_EQ(m_messages.Failures()[0].path, Installer(m_package));
    EXPECT_FALSE(FileExists(Installer(m_package)));
}

TEST_F(VerifiedDownloadTest, APartDroppedAt90PercentIsContinuedWithARange) {
    const long cut = kPartSize * 9 / 10;
    for (const bool checksums : {false, true}) {
        SCOPED_TRACE(checksums ? "with checksums" : "without");
        NewState();
        std::filesystem::remove_all(VersionFolder(m_package));
        if (checksums) {
            PublishChecksums(Checksums());
        } else {
            RemoveFile(Served("SHA256SUMS"));
        }
        m_server.SetFault(m_package.RemotePath(1), Fault{.closeAfterBytes = cut, .times = 1});
        ASSERT_EQ(Prepare(), 1);
        m_server.ClearRequests();
        ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);
        std::vector<TestHttpServer::Request> asked;
        for (const auto& request : m_server.Requests()) {
            if (request.path == m_package.RemotePath(1)) {
                asked.push_back(request);
            }
        }
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1].range, "bytes=" + std::to_string(cut) + "-");
        EXPECT_EQ(asked[0].bodyBytes + asked[1].bodyBytes, kPartSize)
            << "no byte of what had arrived was fetched twice";
    }
}

TEST_F(VerifiedDownloadTest, AServerThatIgnoresRangesOrSendsAnotherStillGivesTheRightInstaller) {
    PublishChecksums(Checksums());
    const long cut = kPartSize / 2;
    const struct {
        const char* name;
        Fault answer;
    } answers[] = {
        {"200 to a range", Fault{.ignoreRange = true}},
        {"206 of another range", Fault{.status = 206,
                                       .body = m_package.PartBytes(1).substr(0, 100),
                                       .extraHeaders = "Content-Range: bytes 0-99/65536\r\n"}},
    };
    for (const auto& c : answers) {
        NewState();
        std::filesystem::remove_all(VersionFolder(m_package));
        m_server.ClearFaults();
        m_server.AddFault(m_package.RemotePath(1), Fault{.closeAfterBytes = cut, .times = 1});
        Fault answer = c.answer;
        answer.times = 1;
        m_server.AddFault(m_package.RemotePath(1), answer);
        ASSERT_EQ(Prepare(), 1);
        ASSERT_EQ(Download(), 0) << c.name << ": " << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer) << c.name;
    }
}

// The headless downloader in a process of its own, killed while a part is
// half there: with checksums the next run continues it. Parts of 4 MiB, as
// what arrives is written a MiB at a time.
TEST_F(VerifiedDownloadTest, AKillDuringAPartialPartContinuesItOnTheNextRun) {
    m_package =
        PublishPackage(m_serverRoot.Path(), kPackageMain, "8.1", 4 << 20, (3 << 22) - 9, 14);
    const int partSize = 4 << 20;
    for (const bool checksums : {true, false}) {
        SCOPED_TRACE(checksums ? "with checksums" : "without");
        // The last run's state holds the folder, which Windows does not remove.
        NewState();
        std::filesystem::remove_all(VersionFolder(m_package));
        if (checksums) {
            PublishChecksums(Checksums());
        } else {
            RemoveFile(Served("SHA256SUMS"));
        }
        m_server.ClearFaults();
        m_server.SetFault(m_package.RemotePath(1),
                          Fault{.dripIntervalMs = 20, .dripBytes = 32768, .times = 1});
        const std::string program = m_state->m_strProgramPath;
        const std::string proxy = m_server.Address();
        RunningChild child({VELMORA_HEADLESS_DOWNLOAD, program, proxy, "20"});
        ASSERT_TRUE(child.Started());
        const bool half = WaitFor([&] { return QueryFileSize(Part(1)) > partSize / 3; },
                                  "the second part to be a third there");
        child.Kill();
        ASSERT_TRUE(half);
        const std::int64_t had = QueryFileSize(Part(1));

        m_server.ClearRequests();
        NewState();
        ASSERT_EQ(Prepare(), 1);
        ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(Installer(m_package)), m_package.installer);
        std::string range = "(none)";
        for (const auto& request : m_server.Requests()) {
            if (request.path == m_package.RemotePath(1)) {
                range = request.range;
            }
        }
        if (checksums) {
            EXPECT_EQ(range, "bytes=" + std::to_string(had) + "-") << "continued";
        } else {
            EXPECT_EQ(range, "") << "only a hash can tell a good tail from a bad one";
        }
    }
}

}  // namespace
