#include "ui/transfer_meter.h"

#include <gtest/gtest.h>

namespace {

using Clock = TransferMeter::Clock;
constexpr std::int64_t kMiB = 1024 * 1024;

TEST(TransferMeterTest, TellsWhatIsDoneHowFastAndHowLongItHasLeft) {
    const Clock::time_point t0{};
    const struct {
        std::int64_t done;
        std::int64_t total;
        double seconds;       // between the two samples
        std::int64_t gained;  // bytes between them
        const char* expected;
    } cases[] = {
        {312 * kMiB, 507 * kMiB, 10, 14 * kMiB, "312 of 507 MiB, 1.4 MiB/s, about 2 minutes left"},
        {312 * kMiB, 507 * kMiB, 0.5, 14 * kMiB, "312 of 507 MiB"},  // no rate yet
        {100 * 1024, 500 * 1024, 4, 200 * 1024,
         "100 of 500 KiB, 50 KiB/s, less than a minute left"},
        {10 * kMiB, 5000 * kMiB, 10, 10 * kMiB, "10 of 5000 MiB, 1.0 MiB/s, about 83 minutes left"},
        {10 * kMiB, 10000 * kMiB, 10, 10 * kMiB, "10 of 10000 MiB, 1.0 MiB/s, about 3 hours left"},
        {10 * kMiB, 200 * kMiB, 10, 2 * kMiB, "10 of 200 MiB, 205 KiB/s, about 16 minutes left"},
        {507 * kMiB, 507 * kMiB, 10, 14 * kMiB, "507 of 507 MiB"},  // finished
    };
    for (const auto& c : cases) {
        TransferMeter meter;
        meter.Sample(t0, c.done - c.gained);
        meter.Sample(t0 + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(c.seconds)),
                     c.done);
        EXPECT_EQ(meter.Describe(c.done, c.total), c.expected);
    }
}

TEST(TransferMeterTest, TheRateIsAnAverageOverTheLastSecondsNotTheLastBurst) {
    TransferMeter meter(std::chrono::seconds(8));
    const Clock::time_point t0{};
    // A steady 100 KiB/s for 20 s, then one second in which 1 MiB arrives.
    for (int s = 0; s <= 20; ++s) {
        meter.Sample(t0 + std::chrono::seconds(s), s * 100 * 1024);
    }
    EXPECT_NEAR(meter.Rate(), 100 * 1024, 1);
    meter.Sample(t0 + std::chrono::seconds(21), 20 * 100 * 1024 + kMiB);
    EXPECT_LT(meter.Rate(), 300 * 1024) << "one burst does not make the rate jump tenfold";
    // The window forgets what lies behind it.
    for (int s = 22; s <= 40; ++s) {
        meter.Sample(t0 + std::chrono::seconds(s), 20 * 100 * 1024 + kMiB);
    }
    EXPECT_EQ(meter.Rate(), 0);
}

}  // namespace
