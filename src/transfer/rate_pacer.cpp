#include "transfer/rate_pacer.h"

#include <algorithm>
#include <thread>

void RatePacer::Restart(Clock::time_point now, std::int64_t limit) {
    m_counting = limit;
    m_start = now;
    m_bytes = 0;
}

RatePacer::Clock::duration RatePacer::Take(std::size_t bytes,
                                           const std::function<bool()>& stopped) {
    const std::int64_t limit = m_limit != nullptr ? m_limit->load(std::memory_order_relaxed) : 0;
    if (limit <= 0) {
        m_counting = 0;
        return Clock::duration::zero();
    }
    const Clock::time_point begin = Clock::now();
    if (limit != m_counting) {
        Restart(begin, limit);
    }
    // When these bytes are due at the limit, counted from the start.
    const auto dueAfter = [&] {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
            static_cast<double>(m_bytes) / static_cast<double>(m_counting)));
    };
    // A transfer that fell behind (a slow server, a pause) may catch up by
    // no more than the credit: otherwise a long slow stretch would let a
    // burst far above the limit through.
    if (begin - m_start > dueAfter() + kCredit) {
        Restart(begin - kCredit, limit);
    }
    m_bytes += static_cast<std::int64_t>(bytes);
    const Clock::time_point due = m_start + dueAfter();
    for (Clock::time_point now = begin; now < due; now = Clock::now()) {
        if (stopped() || (m_limit->load(std::memory_order_relaxed) != limit)) {
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kSlice));
    }
    return Clock::now() - begin;
}
