// Signed releases as an attacker on the network path would serve them, with
// the maker's key built in: genuine signed files of a release signed
// earlier, or of another package, a signature dated ahead, and a maker who
// republishes a version in other parts.

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "catalogue/package_files.h"
#include "catalogue/package_table.h"
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
    // Signed `age` seconds before now (a negative age: after it).
    PublishedPackage Publish(PackageId id, const std::string& version, std::size_t size,
                             unsigned seed, bool sign = true, int partSize = kPartSize,
                             std::int64_t age = 0) {
        PublishedPackage package =
            PublishPackage(m_serverRoot.Path(), id, version, partSize, size, seed);
        m_signedAt = Now() - age;
        const std::string comment =
            ReleaseComment({PackageInfoFor(id).publisherName, m_signedAt, version});
        PublishChecksums(m_serverRoot.Path(), package, id, sign ? &m_key : nullptr, comment);
        return package;
    }
    PublishedPackage PublishSignedAt(const std::string& version, std::int64_t age, unsigned seed) {
        fs::remove_all(m_serverRoot / "download/quindle7");
        return Publish(kPackageMain, version, 3 * kPartSize + 11, seed, true, kPartSize, age);
    }
    static std::int64_t Now() { return std::time(nullptr); }
    std::string Record() const { return ReadFile(ProgramFolder() / "signed-versions.txt"); }
    // The record line of the last release published.
    std::string Recorded(const std::string& version) const {
        return "main timestamp:" + std::to_string(m_signedAt) + " " + version + "\n";
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
    std::int64_t m_signedAt = 0;
};

TEST_F(SignedReleaseTest, AReleaseSignedBeforeTheOneAcceptedIsRefused) {
    const PublishedPackage newer =
        Publish(kPackageMain, "7.10", 5 * kPartSize + 7, 1, true, kPartSize, 100);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    const std::string recorded = Recorded("7.10");
    EXPECT_EQ(Record(), recorded);
    // Cleanup starts the download again; it does not forget the release.
    ASSERT_EQ(DeleteDownloadFiles(*m_state), 1);
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);

    // The genuine 7.9, signed before it, replayed.
    const PublishedPackage older = PublishSignedAt("7.9", 200, 2);
    const auto before = Snapshot();
    Restart();
    EXPECT_EQ(Prepare(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::OlderRelease});
    EXPECT_EQ(m_messages.Failures()[0].version, "7.9");
    EXPECT_EQ(m_messages.Failures()[0].otherVersion, "7.10");
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
    EXPECT_EQ(Record(), recorded);
}

// The order is the maker's signing time, never the version's text.
TEST_F(SignedReleaseTest, ReleasesAreOrderedByTheirSigningTime) {
    const struct {
        const char* what;
        const char* version;
        std::int64_t age;
        bool taken;
    } releases[] = {
        {"a pre-release", "7.3 beta", 500, true},
        {"its final release, signed after it", "7.3", 400, true},
        {"the same release again", "7.3", 400, true},
        {"an older build re-released, signed later", "7.2", 300, true},
        {"7.3 again, signed before that", "7.3", 400, false},
    };
    unsigned seed = 10;
    std::string last;
    for (const auto& release : releases) {
        SCOPED_TRACE(release.what);
        const PublishedPackage package = PublishSignedAt(release.version, release.age, ++seed);
        Restart();
        EXPECT_EQ(Prepare(), release.taken ? 1 : 0) << OnlyMessage();
        if (release.taken) {
            ASSERT_EQ(Download(), 0) << OnlyMessage();
            EXPECT_EQ(ReadFile(Installer(package)), package.installer);
            last = Recorded(release.version);
        }
    }
    EXPECT_EQ(Record(), last) << "the release signed last";
}

// One wrong clock on the maker's side must not lock users out of every
// later release: a signature from more than a day ahead is not taken.
TEST_F(SignedReleaseTest, ASignatureDatedMoreThanADayAheadIsRefusedAndNotRecorded) {
    PublishSignedAt("7.4", -2 * 24 * 60 * 60, 3);
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::SignedAhead});
    EXPECT_FALSE(FileExists(ProgramFolder() / "signed-versions.txt"));
    EXPECT_FALSE(FileExists(ProgramFolder() / "7.4"));
    // Within a day ahead, as clocks differ, it is taken.
    PublishSignedAt("7.4", -3600, 3);
    Restart();
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
}

// The record of the program before signing times holds versions alone: the
// next signed release is taken over it whatever its version, and the record
// is rewritten with its time.
TEST_F(SignedReleaseTest, ARecordWithoutTimesTakesTheNextSignedReleaseOnce) {
    WriteFile(ProgramFolder() / "signed-versions.txt", "main 7.10\ntobrin 7.1 beta\n");
    const PublishedPackage package = PublishSignedAt("7.2", 50, 4);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(Record(), Recorded("7.2") + "tobrin 7.1 beta\n");
    PublishSignedAt("7.10", 60, 5);
    Restart();
    EXPECT_EQ(Prepare(), 0) << "signed before the release taken over the old record";
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
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::BadSignature});
    EXPECT_FALSE(FileExists(ProgramFolder() / "7.1"));
    EXPECT_FALSE(FileExists(ProgramFolder() / "signed-versions.txt"));

    // In its own place it is Tobrin's, and is accepted as such.
    Restart();
    g_currentPackage = kPackageTobrin;
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(Installer(tobrin, kPackageTobrin)), tobrin.installer);
    EXPECT_EQ(Record().rfind("tobrin timestamp:", 0), 0u) << Record();
}

TEST_F(SignedReleaseTest, AVersionWithABlankIsSignedAndAccepted) {
    const PublishedPackage beta = Publish(kPackageMain, "7.2 beta", 2 * kPartSize + 5, 4);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.2 beta/velmora.exe"), beta.installer);
    EXPECT_EQ(Record(), Recorded("7.2 beta"));
}

TEST_F(SignedReleaseTest, TheSameVersionRepublishedInOtherPartsKeepsWhatStillFits) {
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
        ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::PartsRepublished});
        EXPECT_EQ(m_messages.Failures()[0].version, "7.1");
        EXPECT_EQ(m_messages.Failures()[0].path, ProgramFolder() / "7.1");
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

TEST(ReleaseRules, TheTrustedCommentNamesPackageTimeAndVersion) {
    EXPECT_EQ(ReleaseComment({"main", 1765000000, "7.2 beta"}),
              "package:main timestamp:1765000000 version:7.2 beta");
    SignedRelease release;
    ASSERT_TRUE(ParseReleaseComment("package:tobrin timestamp:42 version:7.2 beta", release));
    EXPECT_EQ(release.package, "tobrin");
    EXPECT_EQ(release.signedAt, 42);
    EXPECT_EQ(release.version, "7.2 beta");
    for (const char* refused :
         {"version:7.1", "package:main version:7.1", "package:main timestamp:1",
          "package:main timestamp: version:7.1", "package:main timestamp:-1 version:7.1",
          "package:main timestamp:01 version:7.1", "package:main timestamp:1x version:7.1",
          "package:main timestamp:9999999999999999 version:7.1", "package: timestamp:1 version:7.1",
          "package:main timestamp:1 version:", "package:a b timestamp:1 version:7.1",
          "timestamp:1 package:main version:7.1", "package:main version:7.1 timestamp:1",
          "package:main timestamp:1 version:7\n1"}) {
        EXPECT_FALSE(ParseReleaseComment(refused, release)) << refused;
    }
}

}  // namespace
