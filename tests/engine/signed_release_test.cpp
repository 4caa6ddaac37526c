// Signed releases as an attacker on the network path would serve them, with
// the maker's key built in: genuine signed files of an older release, or of
// another package, and a maker who republishes a version in other parts.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "catalogue/package_files.h"
#include "catalogue/signed_versions.h"
#include "engine/download_cleanup.h"
#include "framework/file_utils.h"
#include "support/engine_fixture.h"
#include "support/test_key.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPartSize = 4096;

class SignedReleaseTest : public EngineTest {
  protected:
    SignedReleaseTest() {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        m_state->m_strPublicKey = m_key.publicLine;
    }
    PublishedPackage Publish(PackageId id, const std::string& version, std::size_t size,
                             unsigned seed, bool sign = true, int partSize = kPartSize) {
        PublishedPackage package =
            PublishPackage(m_serverRoot.Path(), id, version, partSize, size, seed);
        PublishChecksums(m_serverRoot.Path(), package, id, sign ? &m_key : nullptr);
        return package;
    }
    void Restart() {
        NewState();
        m_state->m_strPublicKey = m_key.publicLine;
        m_messages.Clear();
        m_server.ClearRequests();
    }
    std::string OnlyMessage() const {
        const auto texts = m_messages.Texts();
        return texts.size() == 1 ? texts[0] : testing::PrintToString(texts);
    }
    // Every file below the package folder with its content.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(ProgramFolder())) {
            if (entry.is_regular_file()) {
                files[entry.path().string()] = ReadFile(entry.path().string());
            }
        }
        return files;
    }
    int PartsRequested(const PublishedPackage& package) const {
        int count = 0;
        for (std::size_t i = 0; i < package.partNames.size(); ++i) {
            count += m_server.CountRequests(package.RemotePath(i));
        }
        return count;
    }

    TestKey m_key;
};

TEST_F(SignedReleaseTest, AnOlderSignedReleaseServedAfterANewerOneIsRefused) {
    const PublishedPackage newer = Publish(kPackageMain, "7.10", 5 * kPartSize + 7, 1);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(ProgramFolder() / "signed-versions.txt"), "main 7.10\n");
    // Cleanup starts the download again; it does not forget the release.
    ASSERT_EQ(DeleteDownloadFiles(*m_state), 1);
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);

    // The genuine signed 7.9, replayed: "7.9" sorts after "7.10" byte-wise,
    // but not as version numbers.
    fs::remove_all(m_serverRoot / "download/quindle7");
    const PublishedPackage older = Publish(kPackageMain, "7.9", 3 * kPartSize, 2);
    const auto before = Snapshot();
    Restart();
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(OnlyMessage(),
              "The server offers version 7.9 of this package, older than version 7.10, which "
              "Velmora signed and this package folder already has. An older release can bring "
              "back faults that were mended, so nothing is downloaded. Please try again later.");
    m_state->OnDownload();  // prepares again, and is refused again
    WaitForWorker();
    EXPECT_FALSE(FileExists(ProgramFolder() / "7.9")) << "nothing written to a version folder";
    EXPECT_EQ(PartsRequested(older), 0);
    auto after = Snapshot();
    // The refused files were fetched beside the index, then went.
    after.erase(ProgramFolder() / "pkgindex.txt");
    auto expected = before;
    expected.erase(ProgramFolder() / "pkgindex.txt");
    EXPECT_EQ(after, expected) << "the newer version's files are intact";
    EXPECT_EQ(ReadFile(Installer(newer)), newer.installer);
}

TEST_F(SignedReleaseTest, AnotherPackagesGenuineSignedFilesInTheMainFolderAreRefused) {
    // Tobrin's own signed release, served where the main package lies.
    const PublishedPackage tobrin = Publish(kPackageTobrin, "7.1", 3 * kPartSize + 1, 3);
    fs::create_directories(m_serverRoot / "download/quindle7");
    for (const auto& entry : fs::directory_iterator(m_serverRoot / "download/ttstobrin")) {
        fs::copy_file(entry.path(),
                      fs::path(m_serverRoot / "download/quindle7") / entry.path().filename());
    }
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(OnlyMessage(),
              "The list of checksums from the server does not carry Velmora's signature for this "
              "package and version, so it may have been changed on the way. Nothing is "
              "downloaded. Please try again later.");
    EXPECT_FALSE(FileExists(ProgramFolder() / "7.1"));
    EXPECT_FALSE(FileExists(ProgramFolder() / "signed-versions.txt"));

    // In its own place it is Tobrin's, and is accepted as such.
    Restart();
    g_currentPackage = kPackageTobrin;
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(Installer(tobrin, kPackageTobrin)), tobrin.installer);
    EXPECT_EQ(ReadFile(ProgramFolder() / "signed-versions.txt"), "tobrin 7.1\n");
}

TEST_F(SignedReleaseTest, AVersionWithABlankIsSignedAndAccepted) {
    const PublishedPackage beta = Publish(kPackageMain, "7.2 beta", 2 * kPartSize + 5, 4);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.2 beta/velmora.exe"), beta.installer);
    EXPECT_EQ(ReadFile(ProgramFolder() / "signed-versions.txt"), "main 7.2 beta\n");
}

TEST_F(SignedReleaseTest, TheSameVersionRepublishedInOtherPartsKeepsWhatStillFits) {
    const std::string changed =
        "Velmora now publishes version 7.1 in other parts than the ones this download was "
        "started with, in " +
        ProgramFolder() / "7.1. The parts that still fit are kept; the others are fetched again.";
    for (const bool checksums : {true, false}) {
        SCOPED_TRACE(checksums ? "with checksums" : "without checksums");
        // Restarted first: the last run's state holds the folder, which
        // Windows does not remove.
        Restart();
        fs::remove_all(ProgramFolder() / "7.1");
        fs::remove_all(m_serverRoot / "download/quindle7");
        if (!checksums) {
            m_state->m_strPublicKey.clear();
        }
        const PublishedPackage first =
            Publish(kPackageMain, "7.1", 6 * kPartSize + 100, 5, checksums);
        if (!checksums) {
            std::remove((m_serverRoot.Path() + first.serverFolder / "SHA256SUMS").c_str());
        }
        ASSERT_EQ(Prepare(), 1) << OnlyMessage();
        ASSERT_EQ(Download(), 0) << OnlyMessage();

        // Republished longer: the first six parts as they were, the old
        // last part now whole, two more parts after it.
        fs::remove_all(m_serverRoot / "download/quindle7");
        PublishedPackage second = Publish(kPackageMain, "7.1", 8 * kPartSize + 3, 5, checksums);
        if (!checksums) {
            std::remove((m_serverRoot.Path() + second.serverFolder / "SHA256SUMS").c_str());
        }
        ASSERT_EQ(second.PartBytes(5), first.PartBytes(5));
        WriteFile(ProgramFolder() / "7.1/velmora.001x", "not ours to keep");
        Restart();
        if (!checksums) {
            m_state->m_strPublicKey.clear();
        }
        ASSERT_EQ(Prepare(), 1) << OnlyMessage();
        EXPECT_EQ(OnlyMessage(), changed);
        EXPECT_FALSE(FileExists(Installer(second))) << "the old installer went";
        m_messages.Clear();
        ASSERT_EQ(Download(), 0) << OnlyMessage();
        EXPECT_EQ(ReadFile(Installer(second)), second.installer);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(m_server.CountRequests(second.RemotePath(i)), 0) << "kept: part " << i;
        }
        for (std::size_t i = 6; i < second.partNames.size(); ++i) {
            EXPECT_EQ(m_server.CountRequests(second.RemotePath(i)), 1) << "fetched: part " << i;
        }
        EXPECT_TRUE(FileExists(ProgramFolder() / "7.1/velmora.001x"))
            << "only the program's own files go";
        // The next run finds nothing changed.
        Restart();
        if (!checksums) {
            m_state->m_strPublicKey.clear();
        }
        ASSERT_EQ(Prepare(), 1);
        EXPECT_TRUE(m_messages.Texts().empty());
    }
}

TEST(ReleaseRules, VersionsCompareFieldByField) {
    const char* ordered[] = {"7",     "7.0", "7.1",  "7.1.1", "7.2",   "7.2 beta", "7.2b",
                             "7.2b2", "7.9", "7.10", "7.10a", "7.10b", "8",        "10"};
    for (std::size_t i = 0; i < std::size(ordered); ++i) {
        for (std::size_t j = 0; j < std::size(ordered); ++j) {
            const int order = CompareVersions(ordered[i], ordered[j]);
            EXPECT_EQ(order < 0, i < j) << ordered[i] << " against " << ordered[j];
            EXPECT_EQ(order == 0, i == j) << ordered[i] << " against " << ordered[j];
        }
    }
    EXPECT_EQ(CompareVersions("7.010", "7.10"), 0);
    EXPECT_LT(CompareVersions("7.99999999999999999999", "7.100000000000000000000"), 0);
}

TEST(ReleaseRules, TheTrustedCommentNamesPackageAndVersion) {
    EXPECT_EQ(ReleaseComment("main", "7.2 beta"), "package:main version:7.2 beta");
    std::string package;
    std::string version;
    ASSERT_TRUE(ParseReleaseComment("package:tobrin version:7.2 beta", package, version));
    EXPECT_EQ(package, "tobrin");
    EXPECT_EQ(version, "7.2 beta");
    for (const char* refused : {"version:7.1", "package:main", "package: version:7.1",
                                "package:main version:", "package:a b version:7.1",
                                "version:7.1 package:main", "package:main  version:7.1"}) {
        EXPECT_FALSE(ParseReleaseComment(refused, package, version)) << refused;
    }
}

}  // namespace
