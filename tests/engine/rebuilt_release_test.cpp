// The maker rebuilds a release in the same layout (the same names, count and
// part size, every part's bytes changed): one Download fetches every changed
// part, without a box, and gives the new installer.

#include <gtest/gtest.h>

#include <cstdio>

#include "support/engine_fixture.h"
#include "support/platform_files.h"
#include "support/test_key.h"

namespace {

constexpr int kPartSize = 4096;
constexpr std::size_t kSize = 5 * kPartSize + 300;

class RebuiltReleaseTest : public EngineTest {
  protected:
    RebuiltReleaseTest() {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        m_state->m_strPublicKey.clear();
    }
    PublishedPackage Publish(unsigned seed, bool checksums = true) {
        const PublishedPackage package =
            PublishPackage(m_serverRoot.Path(), kPackageMain, "7.2.1", kPartSize, kSize, seed);
        if (checksums) {
            PublishChecksums(m_serverRoot.Path(), package, kPackageMain);
        } else {
            std::remove((m_serverRoot.Path() + package.serverFolder + "/SHA256SUMS").c_str());
        }
        return package;
    }
    void Restart() {
        NewState();
        m_state->m_strPublicKey.clear();
        m_messages.Clear();
        m_server.ClearRequests();
    }
    // Prepares and downloads, expecting no box, and checks that every part
    // but the last was fetched `requests` times; the short last part is
    // fetched too when they are (without checksums it is asked for once
    // more, and answered 416, to know that it is whole).
    void DownloadExpecting(const PublishedPackage& package, int requests) {
        ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
        ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
        EXPECT_TRUE(m_messages.Texts().empty()) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(Installer(package)), package.installer);
        const std::size_t last = package.partNames.size() - 1;
        for (std::size_t i = 0; i < last; ++i) {
            EXPECT_EQ(m_server.CountRequests(package.RemotePath(i)), requests) << "part " << i;
        }
        EXPECT_EQ(m_server.CountRequests(package.RemotePath(last)) > 0, requests > 0);
    }
};

TEST_F(RebuiltReleaseTest, EveryChangedPartIsFetchedInOneDownload) {
    const PublishedPackage first = Publish(1);
    ASSERT_NO_FATAL_FAILURE(DownloadExpecting(first, 1));
    const PublishedPackage rebuilt = Publish(2);
    for (std::size_t i = 0; i < rebuilt.partNames.size(); ++i) {
        ASSERT_EQ(rebuilt.partNames[i], first.partNames[i]);
        ASSERT_NE(rebuilt.PartBytes(i), first.PartBytes(i)) << "part " << i;
    }
    Restart();
    DownloadExpecting(rebuilt, 1);
    // Unchanged since: nothing is fetched or hashed again.
    Restart();
    DownloadExpecting(rebuilt, 0);
}

// Downloaded while the server published no checksums: the done parts are
// hashed once against the list that appears, and the ones that differ go.
TEST_F(RebuiltReleaseTest, WithoutAnEarlierListTheDoneFilesAreHashedOnce) {
    ASSERT_NO_FATAL_FAILURE(DownloadExpecting(Publish(1, false), 1));
    const PublishedPackage rebuilt = Publish(2);
    Restart();
    DownloadExpecting(rebuilt, 1);
}

// The cleared flags are saved before the new list takes the old one's
// place: a preparation that stops in between (here a resume state that
// cannot be written, standing in for a crash) leaves the old list, so the
// next one still finds every changed part.
TEST_F(RebuiltReleaseTest, AStopBeforeTheFlagsAreSavedLosesNoChangedPart) {
    if (!HasFileSizeLimit()) {
        GTEST_SKIP() << kNoFileSizeLimit;
    }
    const PublishedPackage first = Publish(1);
    ASSERT_NO_FATAL_FAILURE(DownloadExpecting(first, 1));
    const std::string firstList = ReadFile(VersionFolder(first) / "SHA256SUMS");
    const PublishedPackage rebuilt = Publish(2);
    Restart();
    {
        ScopedFileSizeLimit full(16);
        EXPECT_EQ(Prepare(), 0);
    }
    EXPECT_EQ(ReadFile(VersionFolder(rebuilt) / "SHA256SUMS"), firstList)
        << "the new list came in before the flags it clears were saved";
    Restart();
    DownloadExpecting(rebuilt, 1);
}

}  // namespace
