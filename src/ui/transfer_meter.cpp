#include "ui/transfer_meter.h"

#include <cmath>
#include <cstdio>

#include "framework/failure_text.h"
#include "framework/texts.h"

namespace {

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string TimeLeft(double seconds) {
    if (seconds < 60) {
        return text::kLessThanAMinuteLeft;
    }
    const double minutes = std::round(seconds / 60);
    if (minutes < 90) {
        return minutes == 1
                   ? text::kAboutAMinuteLeft
                   : Compose(text::kAboutMinutesLeft, {{"count", Format("%.0f", minutes)}});
    }
    const double hours = std::round(seconds / 3600);
    return hours == 1 ? text::kAboutAnHourLeft
                      : Compose(text::kAboutHoursLeft, {{"count", Format("%.0f", hours)}});
}

}  // namespace

void TransferMeter::Sample(Clock::time_point at, std::int64_t done) {
    m_samples.push_back({at, done});
    while (m_samples.size() > 2 && at - m_samples[1].at >= m_window) {
        m_samples.pop_front();
    }
}

double TransferMeter::Rate() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const double seconds =
        std::chrono::duration<double>(m_samples.back().at - m_samples.front().at).count();
    if (seconds < 1) {
        return 0;
    }
    return std::max(0.0,
                    static_cast<double>(m_samples.back().done - m_samples.front().done) / seconds);
}

std::string TransferMeter::Describe(std::int64_t done, std::int64_t total) const {
    // Whole units of the total's size: MiB, or KiB for a small package.
    const bool mebibytes = total >= kMiB;
    const double unit = mebibytes ? kMiB : kKiB;
    const std::string amount =
        Compose(mebibytes ? text::kDoneOfMiB : text::kDoneOfKiB,
                {{"done", Format("%.0f", std::floor(static_cast<double>(done) / unit))},
                 {"total", Format("%.0f", std::ceil(static_cast<double>(total) / unit))}});
    const double rate = Rate();
    if (rate <= 0 || done >= total) {
        return amount;
    }
    const std::string perSecond =
        rate >= kMiB ? Compose(text::kMiBPerSecond, {{"rate", Format("%.1f", rate / kMiB)}})
                     : Compose(text::kKiBPerSecond, {{"rate", Format("%.0f", rate / kKiB)}});
    return Compose(text::kMoving,
                   {{"amount", amount},
                    {"rate", perSecond},
                    {"time_left", TimeLeft(static_cast<double>(total - done) / rate)}});
}
