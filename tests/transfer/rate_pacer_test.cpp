#include "transfer/rate_pacer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Clock = RatePacer::Clock;
using std::chrono::milliseconds;

const auto kNeverStopped = [] { return false; };

TEST(RatePacerTest, HoldsTheBytesToTheLimitAndNotWithoutOne) {
    std::atomic<std::int64_t> limit{0};
    RatePacer pacer(&limit);
    EXPECT_EQ(pacer.Take(1 << 20, kNeverStopped), Clock::duration::zero()) << "no limit";

    // 1 MiB/s: a quarter of a MiB more is due a quarter of a second later.
    limit = 1 << 20;
    Clock::duration waited = pacer.Take(16 * 1024, kNeverStopped);
    waited += pacer.Take(256 * 1024, kNeverStopped);
    EXPECT_GE(waited, milliseconds(250));

    limit = 0;
    EXPECT_EQ(pacer.Take(1 << 20, kNeverStopped), Clock::duration::zero()) << "lifted";
}

TEST(RatePacerTest, AStopOrAChangeEndsAWaitWithinASlice) {
    std::atomic<std::int64_t> limit{1024};
    RatePacer pacer(&limit);
    // A MiB at 1 KiB/s would be a wait of some seventeen minutes.
    int asked = 0;
    const Clock::duration stopped = pacer.Take(1 << 20, [&] { return ++asked > 2; });
    EXPECT_LT(stopped, std::chrono::seconds(1));
    EXPECT_GE(asked, 3) << "the stop flag is read between slices";

    std::thread raise([&] {
        std::this_thread::sleep_for(milliseconds(200));
        limit = 1 << 30;
    });
    const Clock::duration changed = pacer.Take(1 << 20, kNeverStopped);
    raise.join();
    EXPECT_LT(changed, std::chrono::seconds(1)) << "the new limit waited for the old one's pace";
    // From the change on, the count starts afresh at the new limit.
    EXPECT_LT(pacer.Take(1024, kNeverStopped), milliseconds(100));
}

}  // namespace
