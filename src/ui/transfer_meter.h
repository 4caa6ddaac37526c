#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

// How fast a download goes and how long it has left, from the bytes done as
// sampled while it runs. The rate is the average over the last seconds, so
// that the figures do not jump with every burst of the network.
class TransferMeter {
  public:
    using Clock = std::chrono::steady_clock;

    explicit TransferMeter(Clock::duration window = std::chrono::seconds(8)) : m_window(window) {}

    void Reset() { m_samples.clear(); }
    void Sample(Clock::time_point at, std::int64_t done);
    // Bytes per second over the window; 0 until samples a second apart.
    double Rate() const;

    // "312 of 507 MiB, 1.4 MiB/s, about 2 minutes left"; without a rate
    // yet, only what is done.
    std::string Describe(std::int64_t done, std::int64_t total) const;

  private:
    struct Point {
        Clock::time_point at;
        std::int64_t done;
    };
    Clock::duration m_window;
    std::deque<Point> m_samples;
};
