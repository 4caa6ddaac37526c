// The speed limit on the real engine against the loopback server: what a
// capped download takes, a change during a part, a stop during a pause, and
// the limit as the package folder keeps it.

#include <gtest/gtest.h>

#include <chrono>

#include "catalogue/package_files.h"
#include "engine/speed_limit.h"
#include "framework/file_utils.h"
#include "framework/text_mode.h"
#include "support/engine_fixture.h"
#include "support/platform_files.h"
#include "support/wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr int kPartSize = 256 * 1024;

class SpeedLimitTest : public EngineTest {
  protected:
    // 1 MiB in four parts.
    PublishedPackage Publish() {
        return PublishPackage(m_serverRoot.Path(), kPackageMain, "7.4", kPartSize, 4 * kPartSize,
                              11);
    }
    void Limit(std::int64_t kibPerSecond) { m_state->m_nSpeedLimit.store(kibPerSecond * 1024); }
};

TEST_F(SpeedLimitTest, ACappedDownloadTakesAtLeastItsSizeOverTheLimit) {
    const PublishedPackage package = Publish();
    ASSERT_EQ(Prepare(), 1);
    Limit(64);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    // 1 MiB at 64 KiB/s is 16 s; the allowance a transfer may catch up by
    // cannot take more than a few seconds off it.
    EXPECT_GE(Clock::now() - start, seconds(12));
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    EXPECT_TRUE(m_messages.Texts().empty()) << "the pacer's pauses are no stall";
}

TEST_F(SpeedLimitTest, AChangeReachesAPartOnItsWayAndAStopEndsAPause) {
    const PublishedPackage package = Publish();
    ASSERT_EQ(Prepare(), 1);
    // At 4 KiB/s a part would take a minute; the stop must not wait for it.
    Limit(4);
    m_state->OnDownload();
    ASSERT_TRUE(WaitFor([&] { return m_state->m_nBytesDone.load() > 0; }, "the first bytes"));
    const Clock::time_point stopped = Clock::now();
    m_state->m_bStop.store(1);
    WaitForWorker();
    EXPECT_LT(Clock::now() - stopped, seconds(5)) << "the stop waited for the pace";
    EXPECT_LT(m_state->m_nBytesDone.load(), kPartSize) << "the part was still paced";

    // Again capped, then the limit lifted in the middle of the first part:
    // the rest comes at the link's speed, not at 4 KiB/s (a minute a part).
    m_state->m_bStop.store(0);
    m_state->OnDownload();
    ASSERT_TRUE(WaitFor([&] { return m_state->m_nBytesDone.load() > 16 * 1024; },
                        "the capped part under way"));
    const Clock::time_point lifted = Clock::now();
    Limit(0);
    WaitForWorker();
    EXPECT_LT(Clock::now() - lifted, seconds(30)) << "the change did not reach the part";
    EXPECT_EQ(m_state->m_nWorkerResult.load(), 0);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
}

TEST(SpeedLimitFileTest, OnlyASaneLimitOfOursIsRead) {
    struct {
        const char* text;
        std::optional<std::int64_t> parsed;
    } const cases[] = {
        {"", 0},
        {"0", 0},
        {"64", 64},
        {" 64\r\n", 64},
        {"1", 1},
        {"1048576", 1048576},
        {"1048577", {}},
        {"-1", {}},
        {"64 KiB", {}},
        {"6 4", {}},
        {"0x40", {}},
        {"99999999999999999999999", {}},
        {"64\n65\n", {}},
        {"\xEF\xBB\xBF"
         "64",
         {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseSpeedLimit(c.text), c.parsed) << c.text;
    }

    TempDir folder;
    const OwnFolder held = OwnFolder::Open(folder.Path());
    EXPECT_EQ(ReadSpeedLimit(held), 0) << "no file, no limit";
    ASSERT_TRUE(SaveSpeedLimit(held, 256));
    EXPECT_EQ(ReadFile(folder / kSpeedLimitFileName), std::string("256") + kLineEnd);
    EXPECT_EQ(ReadSpeedLimit(held), 256);
    ASSERT_TRUE(SaveSpeedLimit(held, 0));
    EXPECT_FALSE(FileExists(folder / kSpeedLimitFileName));
    EXPECT_TRUE(SaveSpeedLimit(held, 0)) << "none to remove is no failure";

    // What others put at the name is not read, and not replaced through.
    WriteFile(folder / kSpeedLimitFileName, std::string(100000, '1'));
    EXPECT_EQ(ReadSpeedLimit(held), 0);
    std::filesystem::remove(folder / kSpeedLimitFileName);
    TempDir outside;
    WriteFile(outside / "theirs", "64\n");
    if (MakeSymbolicLink(outside / "theirs", folder / kSpeedLimitFileName)) {
        EXPECT_EQ(ReadSpeedLimit(held), 0) << "read through a link";
        EXPECT_FALSE(SaveSpeedLimit(held, 32)) << "written through a link";
        EXPECT_EQ(ReadFile(outside / "theirs"), "64\n");
    }
}

}  // namespace
