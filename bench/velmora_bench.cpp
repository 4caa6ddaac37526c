// Measures one whole download of the real engine: the preparation, the
// worker fetching every part and the join, with wall time, throughput and
// peak resident memory for the download and the join separately.
//
//   velmora_bench headless|window PACKAGE_FOLDER PROXY
//   velmora_bench index INDEX_FILE
//   velmora_bench sha256
//
// The package folder must be empty or hold an earlier run's files (they are
// removed first). "window" runs the same download through the real main
// window (use QT_QPA_PLATFORM=offscreen without a display). Prints one line of
// key=value pairs.

#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/server_names.h"
#include "engine/download_preparation.h"
#include "engine/download_state.h"
#include "framework/file_utils.h"
#include "framework/headless_dialog_items.h"
#include "framework/resource_ids.h"
#include "framework/sha256.h"
#include "framework/texts.h"
#include "ui/main_dialog.h"
#include "widgets/ui_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// A number from one of the kernel's "key: value" files about this process.
long long ReadProcField(const char* file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stoll(line.substr(key.size()));
        }
    }
    return -1;
}

long ReadPeakRssKb() {
    return static_cast<long>(ReadProcField("/proc/self/status", "VmHWM:"));
}

// Bytes written so far to the block device that holds the package folder,
// as the device counts them. The process's own count (/proc/self/io) is no
// use here: it charges a one-byte write with the whole large folio it
// dirties, which grows with the file, though only a block goes to the disk.
std::string g_deviceStat;

void ChooseDevice(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        g_deviceStat = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                       std::to_string(minor(st.st_dev)) + "/stat";
    }
}

long long ReadWrittenBytes() {
    std::ifstream in(g_deviceStat);
    long long field = 0;
    // The seventh number: sectors written, of 512 bytes.
    for (int i = 0; i < 7 && in >> field; ++i) {
    }
    return in ? field * 512 : -1;
}

// Starts a new peak measurement from the current resident size.
void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Notes when the join begins: the worker names it in control 1002.
struct Phases {
    Clock::time_point start;
    long long writtenAtStart = 0;
    long long writtenAtJoin = 0;
    std::atomic<bool> joinStarted{false};
    Clock::time_point joinStart;
    long downloadPeakKb = 0;

    void OnText(int id, const std::string& text) {
        if (id == res::IDC_PART_LABEL && text == text::kMergingParts && !joinStarted) {
            joinStart = Clock::now();
            writtenAtJoin = ReadWrittenBytes();
            downloadPeakKb = ReadPeakRssKb();
            ResetPeakRss();
            joinStarted = true;
        }
    }
};

class TimedItems : public HeadlessDialogItems {
  public:
    explicit TimedItems(Phases& phases) : m_phases(phases) {}
    void SetItemText(int id, const std::string& text) override {
        m_phases.OnText(id, text);
        HeadlessDialogItems::SetItemText(id, text);
    }

  private:
    Phases& m_phases;
};

std::int64_t InstallerSize(const DownloadState& state) {
    return QueryFileSize(state.m_strVersionFolder + "/velmora.exe");
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
}

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
    state.m_strProgramPath = folder + "/VELMORA_QUINDLE_7";
    state.SetProxy(proxy);
    if (!PrepareDownload(state)) {
        return 2;
    }
    ResetPeakRss();
    phases.writtenAtStart = ReadWrittenBytes();
    phases.start = Clock::now();
    state.OnDownload();
    state.JoinWorker();
    Report("headless", phases, Clock::now(), InstallerSize(state), state.m_nWorkerResult.load());
    return state.m_nWorkerResult.load();
}

int RunWindow(int argc, char** argv, const std::string& folder, const std::string& proxy) {
    QApplication application(argc, argv);
    ChooseDevice(folder);
    Phases phases;
    MainDialog dialog;
    DownloadState& state = dialog.m_download;
    state.m_strProgramPath = folder + "/VELMORA_QUINDLE_7";
    state.SetProxy(proxy);
    int result = 2;
    RepeatingTimer poll([&] {
        // The worker names the join in control 1002, on this thread.
        phases.OnText(res::IDC_PART_LABEL, dialog.GetDlgItemText(res::IDC_PART_LABEL));
        if (!state.IsDownloading()) {
            poll.Stop();
            if (!phases.joinStarted) {
                phases.joinStart = Clock::now();
            }
            result = state.m_nWorkerResult.load();
            Report("window", phases, Clock::now(), InstallerSize(state), result);
            dialog.EndDialog(res::IDOK);
        }
    });
    RunLater(1, [&] {
        if (state.m_bNeedPrepare != 0) {
            dialog.EndDialog(res::IDCANCEL);
            return;
        }
        ResetPeakRss();
        phases.writtenAtStart = ReadWrittenBytes();
        phases.start = Clock::now();
        // Pressed as a user presses it.
        dialog.ClickItem(res::IDC_DOWNLOAD);
        poll.Start(1);
    });
    dialog.DoModal();
    return result;
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
    sync();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const int result =
        mode == "window" ? RunWindow(argc, argv, folder, proxy) : RunHeadless(folder, proxy);
    curl_global_cleanup();
    return result;
}
