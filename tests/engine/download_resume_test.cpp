#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "support/child_process.h"
#include "support/engine_fixture.h"
#include "support/wait.h"

namespace {

// Parts recorded as done in the resume state on disk. The state is replaced
// by a rename, so a reader never sees it half written.
std::set<std::string> StoredDoneParts(const std::string& path) {
    PackageIndex stored;
    IndexLoadError error = CannotOpen;
    std::set<std::string> done;
    if (stored.Load(path, error)) {
        for (const auto& part : stored.m_parts) {
            if (part.m_done != 0) {
                done.insert(part.m_name);
            }
        }
    }
    return done;
}

class ResumeTest : public EngineTest {
  protected:
    std::vector<int> RequestCounts(const PublishedPackage& package) const {
        std::vector<int> counts;
        for (std::size_t i = 0; i < package.partNames.size(); ++i) {
            counts.push_back(m_server.CountRequests(package.RemotePath(i)));
        }
        return counts;
    }
};

// One package of 24 parts through three runs: stopped in this process,
// killed outright in a separate one, finished in a third.
TEST_F(ResumeTest, StopThenKillThenFinishFetchesNoFinishedPartTwice) {
    const PublishedPackage package =
        PublishPackage(m_serverRoot.Path(), kPackageMain, "7.5", 32768, 23 * 32768 + 5000, 9);
    ASSERT_EQ(package.partNames.size(), 24u);
    const std::string resume = VersionFolder(package) / "pkgindex.txt";
    m_server.SetRateLimit(400 * 1024);

    ASSERT_EQ(Prepare(), 1);
    m_state->OnDownload();
    ASSERT_TRUE(
        WaitFor([&] { return StoredDoneParts(resume).size() >= 4; }, "four parts recorded done"));
    m_state->OnStop();
    WaitForWorker();
    const std::set<std::string> doneAtStop = StoredDoneParts(resume);
    const auto requestsAtStop = RequestCounts(package);
    EXPECT_GE(doneAtStop.size(), 4u);
    EXPECT_LT(doneAtStop.size(), 24u);

    const std::string program = m_state->m_strProgramPath;
    const std::string proxy = m_server.Address();
    // Closed, as the program is before another starts on the folder: on
    // Windows the files it holds open could not be replaced.
    m_state.reset();
    RunningChild child({VELMORA_HEADLESS_DOWNLOAD, program, proxy});
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(WaitFor([&] { return StoredDoneParts(resume).size() >= doneAtStop.size() + 6; },
                        "six more parts recorded done"));
    int status = 0;
    ASSERT_FALSE(child.HasEnded(status)) << "it ran to its end before the kill";
    child.Kill();
    const std::set<std::string> doneAtKill = StoredDoneParts(resume);
    const auto requestsAtKill = RequestCounts(package);
    ASSERT_GE(doneAtKill.size(), doneAtStop.size() + 6) << "the resume state parses after the kill";
    EXPECT_LT(doneAtKill.size(), 24u);

    m_server.SetRateLimit(0);
    NewState();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    // A part may be fetched again only while it is not recorded as done.
    const auto requestsAtEnd = RequestCounts(package);
    for (std::size_t i = 0; i < package.partNames.size(); ++i) {
        const std::string& name = package.partNames[i];
        if (doneAtStop.count(name) != 0) {
            EXPECT_EQ(requestsAtEnd[i], requestsAtStop[i])
                << name << " fetched again after the stop";
        }
        if (doneAtKill.count(name) != 0) {
            EXPECT_EQ(requestsAtEnd[i], requestsAtKill[i])
                << name << " fetched again after the kill";
        }
        EXPECT_GE(requestsAtEnd[i], 1);
    }
}

}  // namespace
