#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// A progress bar's state: a range, a position clamped to it, and a step. The
// worker moves the position from its own thread without ever waiting; a
// window that shows the bar registers an observer and reads a snapshot when
// it repaints. Notifications are coalesced: after one has gone out, the next
// comes only once the observer has taken a snapshot, so a fast download costs
// one atomic exchange per update, not one repaint.
class ProgressCtrl {
  public:
    struct Snapshot {
        int lower;
        int upper;
        int pos;
    };

    ProgressCtrl() = default;
    ProgressCtrl(const ProgressCtrl&) = delete;
    ProgressCtrl& operator=(const ProgressCtrl&) = delete;

    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    // The three position operations return the position before the change.
    int SetPos(int pos);
    int DeltaPos(int delta);
    int StepIt();
    void SetStep(int step);
    int GetPos() const;

    // The observer is called from whichever thread changed the bar, and must
    // not block; it typically posts a repaint to the user-interface thread.
    // Installing one calls it once so that it can show the current state.
    void SetObserver(std::function<void()> observer);
    Snapshot TakeSnapshot();

  private:
    static std::uint64_t Pack(int lower, int upper);
    static int Clamp(std::int64_t pos, std::uint64_t range);
    void Notify();

    std::atomic<std::uint64_t> m_range{Pack(0, 100)};
    std::atomic<int> m_pos{0};
    std::atomic<int> m_step{10};
    std::atomic<bool> m_notifyPending{true};
    std::mutex m_observerMutex;
    std::function<void()> m_observer;
};
