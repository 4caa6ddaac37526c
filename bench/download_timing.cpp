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

std::int64_t InstallerSize(const DownloadState& state) {
    return QueryFileSize(state.m_strVersionFolder + kPathSeparator + "velmora.exe");
}

void Report(const char* mode, Phases& phases, Clock::time_point end, std::int64_t bytes,
            int result) {
    const double download = std::chrono::duration<double>(phases.joinStart - phases.start).count();
    const double join = std::chrono::duration<double>(end - phases.joinStart).count();
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf(
        "mode=%s result=%d bytes=%lld download_s=%.3f download_mib_s=%.1f join_s=%.3f "
        "join_mib_s=%.1f total_s=%.3f peak_rss_download_kb=%ld peak_rss_join_kb=%ld "
        "download_device_bytes=%lld\n",
        mode, result, static_cast<long long>(bytes), download, mib / download, join, mib / join,
        download + join, phases.downloadPeakKb, ReadPeakRssKb(),
        phases.writtenAtJoin - phases.writtenAtStart);
    std::fflush(stdout);
}
