#include "download_timing.h"

#include <cstdio>

#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "process_figures.h"

void Phases::OnText(int id, const std::string& text) {
    if (id == res::IDC_PART_LABEL && text == text::kMergingParts && !joinStarted) {
        joinStart = Clock::now();
        writtenAtJoin = ReadWrittenBytes();
        downloadPeakKb = ReadPeakRssKb();
        ResetPeakRss();
        joinStarted = true;
    }
}

namespace {

std::int64_t InstallerSize(const DownloadState& state) {
    return QueryFileSize(state.m_strVersionFolder + kPathSeparator + "velmora.exe");
}

std::string Seconds(double seconds) {
    if (seconds < 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// What the engine measures itself: from the last byte's write to the
// install button's enabling, in a run that fetched the last part.
std::string LastByteToInstall(const DownloadState& state) {
    const std::int64_t us = state.m_nLastByteToInstallUs.load();
    return Seconds(us < 0 ? -1.0 : static_cast<double>(us) / 1e6);
}

}  // namespace

void Report(const char* mode, Phases& phases, Clock::time_point end, const DownloadState& state,
            int result) {
    const std::int64_t bytes = InstallerSize(state);
    const double download = std::chrono::duration<double>(phases.joinStart - phases.start).count();
    const double join = std::chrono::duration<double>(end - phases.joinStart).count();
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf(
        "mode=%s result=%d bytes=%lld download_s=%.3f download_mib_s=%.1f join_s=%.3f "
        "join_mib_s=%.1f total_s=%.3f peak_rss_download_kb=%ld peak_rss_join_kb=%ld "
        "download_device_bytes=%lld last_byte_to_install_s=%s prepare_s=%s\n",
        mode, result, static_cast<long long>(bytes), download, mib / download, join, mib / join,
        download + join, phases.downloadPeakKb, ReadPeakRssKb(),
        phases.writtenAtJoin - phases.writtenAtStart, LastByteToInstall(state).c_str(),
        Seconds(phases.prepareSeconds).c_str());
    std::fflush(stdout);
}
