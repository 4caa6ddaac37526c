#include "framework/progress_ctrl.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(ProgressCtrlTest, PositionStaysInsideTheRange) {
    ProgressCtrl bar;
    bar.SetRange(0, 1024);
    EXPECT_EQ(bar.DeltaPos(1000), 0);
    bar.DeltaPos(100);
    EXPECT_EQ(bar.GetPos(), 1024) << "clamped at the upper end";
    bar.SetPos(-5);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetPos(700);
    bar.SetRange(0, 11);
    EXPECT_EQ(bar.GetPos(), 11) << "a narrower range pulls the position in";
    bar.SetStep(1);
    bar.SetPos(3);
    bar.StepIt();
    EXPECT_EQ(bar.GetPos(), 4);
}

TEST(ProgressCtrlTest, RangesBeyond16BitsAreKept) {
    ProgressCtrl bar;
    bar.SetRange(0, 200000);
    int lower = -1;
    int upper = -1;
    bar.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 200000);
    bar.SetPos(150000);
    EXPECT_EQ(bar.GetPos(), 150000);
}

TEST(ProgressCtrlTest, NotificationsAreCoalescedUntilASnapshotIsTaken) {
    ProgressCtrl bar;
    bar.SetRange(0, 100);
    int calls = 0;
    bar.SetObserver([&] { ++calls; });
    EXPECT_EQ(calls, 1) << "the observer hears of the state it starts with";
    bar.SetPos(5);
    bar.DeltaPos(5);
    bar.DeltaPos(5);
    EXPECT_EQ(calls, 1) << "no repaint asked for while one is pending";
    const ProgressCtrl::Snapshot snapshot = bar.TakeSnapshot();
    EXPECT_EQ(snapshot.pos, 15);
    EXPECT_EQ(snapshot.upper, 100);
    bar.DeltaPos(1);
    EXPECT_EQ(calls, 2);
    bar.SetObserver(nullptr);
    bar.TakeSnapshot();
    bar.DeltaPos(1);
    EXPECT_EQ(calls, 2);
}

TEST(ProgressCtrlTest, ConcurrentStepsAreNotLost) {
    ProgressCtrl bar;
    bar.SetRange(0, 1 << 30);
    auto worker = [&] {
        for (int i = 0; i < 100000; ++i) {
            bar.DeltaPos(4);
        }
    };
    std::thread a(worker);
    std::thread b(worker);
    a.join();
    b.join();
    EXPECT_EQ(bar.GetPos(), 800000);
}

}  // namespace
