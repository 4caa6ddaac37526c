// Kills the downloading process outright at random moments (during the
// parts, during resume-state saves, during the join) and restarts it until it
// finishes. Every trial must end with the published installer, a resume state
// that parses after every kill, and no part fetched again once recorded done.
//
// VELMORA_KILL_TRIALS sets the number of trials (10 by default; the "long"
// run takes 100), VELMORA_KILL_SEED the random seed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

#include "catalogue/package_index.h"
#include "framework/file_utils.h"
#include "support/child_process.h"
#include "support/package_fixture.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class KillAt { Time, Save, Join, Never };

struct Figures {
    int trials = 0;
    int passed = 0;
    int kills = 0;
    int killsInSave = 0;
    int killsInJoin = 0;
};

int EnvOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

TEST(KillTrialsTest, EveryTrialEndsWithThePublishedInstaller) {
    const int trials = EnvOr("VELMORA_KILL_TRIALS", 10);
    const unsigned seed =
        static_cast<unsigned>(EnvOr("VELMORA_KILL_SEED", static_cast<int>(std::random_device{}())));
    std::mt19937 random(seed);
    TempDir serverRoot;
    const PublishedPackage package = PublishPackage(serverRoot.Path(), kPackageMain, "7.9",
                                                    256 * 1024, 11 * 256 * 1024 + 1000, 3);
    PublishSiteList(serverRoot.Path(), "download.velmora.example");
    TestHttpServer server(serverRoot.Path());
    server.SetRateLimit(4 * 1024 * 1024);
    Figures figures;

    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed));
        TempDir folder;
        const std::string program = folder / "VELMORA_QUINDLE_7";
        const std::string versionFolder = folder / "7.9";
        const std::string resume = versionFolder / "pkgindex.txt";
        server.ClearRequests();
        // Request counts at the moment each part was seen recorded as done.
        std::vector<int> countWhenDone(package.partNames.size(), -1);
        bool healthy = true;
        const int maxKills = 1 + static_cast<int>(random() % 4);
        for (int run = 0;; ++run) {
            KillAt killAt = KillAt::Never;
            if (run < maxKills) {
                killAt = static_cast<KillAt>(random() % 3);
            }
            const auto killAfter = std::chrono::milliseconds(20 + random() % 700);
            const std::string proxy = server.Address();
            RunningChild child({VELMORA_HEADLESS_DOWNLOAD, program, proxy, "20"});
            ASSERT_TRUE(child.Started());
            const auto start = Clock::now();
            int status = 0;
            bool killed = false;
            const bool ended = WaitFor(
                [&] {
                    if (child.HasEnded(status)) {
                        return true;
                    }
                    const bool inSave = Exists(resume + ".tmp");
                    const bool inJoin = Exists(versionFolder / "velmora.exe.partial");
                    if ((killAt == KillAt::Time && Clock::now() - start > killAfter) ||
                        (killAt == KillAt::Save && inSave) || (killAt == KillAt::Join && inJoin)) {
                        child.Kill();
                        status = -1;
                        killed = true;
                        ++figures.kills;
                        figures.killsInSave += inSave ? 1 : 0;
                        figures.killsInJoin += inJoin ? 1 : 0;
                        return true;
                    }
                    return false;
                },
                "a run to end", std::chrono::minutes(1), {}, std::chrono::microseconds(100));
            if (!ended) {
                child.Kill();
                FAIL() << "a run hung";
            }

            // After every run: the resume state parses, and what it records
            // as done is exactly the published part.
            if (Exists(resume)) {
                PackageIndex stored;
                IndexLoadError error = CannotOpen;
                const bool parses = stored.Load(resume, error) == 1;
                EXPECT_TRUE(parses) << "the resume state does not parse after run " << run;
                healthy = healthy && parses;
                for (std::size_t i = 0; parses && i < stored.m_parts.size(); ++i) {
                    if (stored.m_parts[i].m_done == 0) {
                        continue;
                    }
                    const bool intact = ReadFile(versionFolder + kPathSeparator +
                                                 package.partNames[i]) == package.PartBytes(i);
                    EXPECT_TRUE(intact) << package.partNames[i] << " recorded done but not on disk";
                    healthy = healthy && intact;
                    if (countWhenDone[i] < 0) {
                        countWhenDone[i] = server.CountRequests(package.RemotePath(i));
                    }
                }
            }
            // The growing installer holds, as far as its record says, exactly
            // the published bytes; an installer is never anything else.
            if (Exists(versionFolder / "velmora.exe.joined")) {
                long long parts = -1;
                long long length = -1;
                std::sscanf(ReadFile(versionFolder / "velmora.exe.joined").c_str(), "%lld %lld",
                            &parts, &length);
                const std::string grown = ReadFile(versionFolder / "velmora.exe.partial");
                const bool vouched = length >= 0 && grown.size() >= std::size_t(length) &&
                                     grown.compare(0, length, package.installer, 0, length) == 0;
                EXPECT_TRUE(vouched)
                    << "the record vouches for " << length << " bytes after run " << run;
                healthy = healthy && vouched;
            }
            if (Exists(versionFolder / "velmora.exe")) {
                const bool published = ReadFile(versionFolder / "velmora.exe") == package.installer;
                EXPECT_TRUE(published) << "an installer that is not the published one, run " << run;
                healthy = healthy && published;
            }
            if (!killed) {
                EXPECT_EQ(status, 0) << "a run ended with " << status;
                break;
            }
            // Even when killed mid-join, Stop or finish, the run picks up.
            ASSERT_LT(run, 50);
        }
        const bool identical = ReadFile(versionFolder / "velmora.exe") == package.installer;
        EXPECT_TRUE(identical);
        bool fetchedOnce = true;
        for (std::size_t i = 0; i < package.partNames.size(); ++i) {
            if (countWhenDone[i] >= 0 &&
                server.CountRequests(package.RemotePath(i)) != countWhenDone[i]) {
                fetchedOnce = false;
                ADD_FAILURE() << package.partNames[i]
                              << " was fetched again after it was recorded done";
            }
        }
        ++figures.trials;
        figures.passed += healthy && identical && fetchedOnce ? 1 : 0;
    }
    std::printf(
        "kill trials: %d of %d passed, %d kills (%d during a resume-state save, %d during the "
        "join), seed %u\n",
        figures.passed, figures.trials, figures.kills, figures.killsInSave, figures.killsInJoin,
        seed);
    EXPECT_EQ(figures.passed, figures.trials);
}

}  // namespace
