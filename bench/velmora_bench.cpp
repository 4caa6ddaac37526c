// Measures one whole download of the real engine: the preparation, the
// worker fetching every part and the join, with wall time, throughput and
// peak resident memory for the download and the join separately.
//
//   velmora_bench headless|window PACKAGE_FOLDER PROXY
//   velmora_bench index INDEX_FILE
//   velmora_bench sha256
//
// The package folder must be empty or hold an earlier run's files (they are
// removed first). PROXY is "host:port", or "" for the system's setting, as
// the program uses it when none is set. "window" runs the same download
// through the real main window (use QT_QPA_PLATFORM=offscreen without a
// display). Prints one line of key=value pairs.

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/server_names.h"
#include "download_timing.h"
#include "engine/download_preparation.h"
#include "engine/download_state.h"
#include "framework/file_utils.h"
#include "framework/sha256.h"
#include "process_figures.h"

namespace {

void ClearFolder(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

int RunHeadless(const std::string& folder, const std::string& proxy) {
    ChooseDevice(folder);
    Phases phases;
    TimedItems items(phases);
    DownloadState state(items);
    state.m_strProgramPath = folder + kPathSeparator + "VELMORA_QUINDLE_7";
    state.SetProxy(proxy);
    const Clock::time_point prepareStart = Clock::now();
    if (!PrepareDownload(state)) {
        return 2;
    }
    phases.prepareSeconds = std::chrono::duration<double>(Clock::now() - prepareStart).count();
    ResetPeakRss();
    phases.writtenAtStart = ReadWrittenBytes();
    phases.start = Clock::now();
    state.OnDownload();
    state.JoinWorker();
    Report("headless", phases, Clock::now(), state, state.m_nWorkerResult.load());
    return state.m_nWorkerResult.load();
}

}  // namespace

// Reads and checks an index as the preparation does, and reports the time
// and the memory it takes per part.
int RunIndex(const std::string& path) {
    const long before = ReadPeakRssKb();
    const Clock::time_point start = Clock::now();
    PackageIndex index;
    IndexLoadError error = CannotOpen;
    const bool loaded = index.Load(path, error) == 1;
    const bool safe = loaded && IsSafeIndex(index);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long peak = ReadPeakRssKb();
    const std::size_t parts = index.m_parts.size();
    std::printf(
        "mode=index parts=%zu loaded=%d safe=%d read_and_check_s=%.3f "
        "bytes_per_part=%.0f\n",
        parts, loaded ? 1 : 0, safe ? 1 : 0, seconds,
        parts > 0 ? (peak - before) * 1024.0 / static_cast<double>(parts) : 0.0);
    return safe ? 0 : 1;
}

// Hashes 1 GiB from a 1 MiB buffer in memory, five times, and reports the
// median: what checking every byte costs, without the disk or the network.
// The digest shows that two builds did the same work.
int RunSha256() {
    constexpr std::size_t kBufferBytes = 1 << 20;
    constexpr int kBuffers = 1024;
    constexpr int kRepetitions = 5;
    std::vector<unsigned char> buffer(kBufferBytes);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
    }
    std::vector<double> rates;
    std::string digest;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
        const Clock::time_point start = Clock::now();
        Sha256 hash;
        for (int i = 0; i < kBuffers; ++i) {
            hash.Update(buffer.data(), buffer.size());
        }
        digest = ToHex(hash.Digest());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        rates.push_back(kBuffers * (kBufferBytes / (1024.0 * 1024.0)) / seconds);
    }
    std::sort(rates.begin(), rates.end());
    std::printf(
        "mode=sha256 bytes=%lld repetitions=%d mib_s=%.1f min_mib_s=%.1f max_mib_s=%.1f "
        "digest=%s\n",
        static_cast<long long>(kBuffers) * static_cast<long long>(kBufferBytes), kRepetitions,
        rates[rates.size() / 2], rates.front(), rates.back(), digest.c_str());
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "index") {
        return RunIndex(argv[2]);
    }
    if (argc == 2 && std::string(argv[1]) == "sha256") {
        return RunSha256();
    }
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s headless|window PACKAGE_FOLDER PROXY\n"
                     "       %s index INDEX_FILE\n"
                     "       %s sha256\n",
                     argv[0], argv[0], argv[0]);
        return 64;
    }
    const std::string mode = argv[1];
    const std::string folder = argv[2];
    const std::string proxy = argv[3];
    ClearFolder(folder);
    // The deletions and anything else unwritten do not land in the timing.
    SyncDisks();
    curl_global_init(CURL_GLOBAL_DEFAULT);
#ifdef VELMORA_BENCH_WINDOW
    const int result =
        mode == "window" ? RunWindow(argc, argv, folder, proxy) : RunHeadless(folder, proxy);
#else
    if (mode == "window") {
        std::fprintf(stderr, "this build has no window\n");
        return 64;
    }
    const int result = RunHeadless(folder, proxy);
#endif
    curl_global_cleanup();
    return result;
}
