#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

// Holds the bytes that arrive to a rate the user chose, so that a download
// leaves room on a shared, slow link. It waits after each block rather than
// asking libcurl to (which overshoots below its buffer size and may keep an
// old value on a reused handle), and reads the rate again at every block, so
// that a new one takes effect at once, in the middle of a part too.
class RatePacer {
  public:
    using Clock = std::chrono::steady_clock;

    // `bytesPerSecond` is read at every block; 0 means no limit.
    explicit RatePacer(const std::atomic<std::int64_t>* bytesPerSecond) : m_limit(bytesPerSecond) {}

    // Counts `bytes` that just arrived and waits as long as the limit asks:
    // in slices of at most kSlice, ending early once `stopped` says so or
    // the limit changes. Returns how long it waited, which the checks for a
    // stalled or slow server must not count against the server.
    Clock::duration Take(std::size_t bytes, const std::function<bool()>& stopped);

    // The longest single wait, so that a stop is seen at once.
    static constexpr std::chrono::milliseconds kSlice{100};
    // How far below its limit a transfer may have fallen and still catch up
    // at full speed: the limit is an average over this many seconds, not a
    // cap on every block.
    static constexpr std::chrono::seconds kCredit{2};

  private:
    // Where the count starts afresh: at the first block, after a change of
    // the limit, or when the transfer fell too far behind its allowance.
    void Restart(Clock::time_point now, std::int64_t limit);

    const std::atomic<std::int64_t>* m_limit;
    std::int64_t m_counting = 0;  // the limit the count is for; 0: none
    Clock::time_point m_start{};
    std::int64_t m_bytes = 0;
};
