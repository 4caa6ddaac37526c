#include "framework/progress_ctrl.h"

#include <algorithm>
#include <utility>

std::uint64_t ProgressCtrl::Pack(int lower, int upper) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(lower)) << 32) |
           static_cast<std::uint32_t>(upper);
}

int ProgressCtrl::Clamp(std::int64_t pos, std::uint64_t range) {
    const auto lower = static_cast<std::int32_t>(range >> 32);
    const auto upper = static_cast<std::int32_t>(range & 0xFFFFFFFFu);
    // An inverted range clamps to its lower end rather than failing.
    return static_cast<int>(std::max<std::int64_t>(lower, std::min<std::int64_t>(pos, upper)));
}

void ProgressCtrl::SetRange(int lower, int upper) {
    const std::uint64_t range = Pack(lower, upper);
    m_range.store(range, std::memory_order_relaxed);
    m_pos.store(Clamp(m_pos.load(std::memory_order_relaxed), range), std::memory_order_relaxed);
    Notify();
}

void ProgressCtrl::GetRange(int& lower, int& upper) const {
    const std::uint64_t range = m_range.load(std::memory_order_relaxed);
    lower = static_cast<std::int32_t>(range >> 32);
    upper = static_cast<std::int32_t>(range & 0xFFFFFFFFu);
}

int ProgressCtrl::SetPos(int pos) {
    const int previous = m_pos.exchange(Clamp(pos, m_range.load(std::memory_order_relaxed)),
                                        std::memory_order_relaxed);
    Notify();
    return previous;
}

int ProgressCtrl::DeltaPos(int delta) {
    const std::uint64_t range = m_range.load(std::memory_order_relaxed);
    int previous = m_pos.load(std::memory_order_relaxed);
    while (!m_pos.compare_exchange_weak(previous, Clamp(std::int64_t{previous} + delta, range),
                                        std::memory_order_relaxed)) {
    }
    Notify();
    return previous;
}

int ProgressCtrl::StepIt() {
    return DeltaPos(m_step.load(std::memory_order_relaxed));
}

void ProgressCtrl::SetStep(int step) {
    m_step.store(step, std::memory_order_relaxed);
}

int ProgressCtrl::GetPos() const {
    return m_pos.load(std::memory_order_relaxed);
}

void ProgressCtrl::SetObserver(std::function<void()> observer) {
    std::lock_guard lock(m_observerMutex);
    m_observer = std::move(observer);
    m_notifyPending.store(m_observer != nullptr, std::memory_order_release);
    if (m_observer) {
        m_observer();
    }
}

ProgressCtrl::Snapshot ProgressCtrl::TakeSnapshot() {
    // Clear the flag first: a change that lands after it is announced again.
    m_notifyPending.store(false, std::memory_order_release);
    Snapshot snapshot{};
    GetRange(snapshot.lower, snapshot.upper);
    snapshot.pos = GetPos();
    return snapshot;
}

void ProgressCtrl::Notify() {
    if (m_notifyPending.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    std::lock_guard lock(m_observerMutex);
    if (m_observer) {
        m_observer();
    }
}
