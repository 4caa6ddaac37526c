#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/package_index.h"
#include "framework/build_config.h"
#include "framework/progress_ctrl.h"
#include "framework/sha256.h"
#include "transfer/download_file.h"
#include "transfer/kept_connection.h"
#include "transfer/rate_pacer.h"

class DialogItems;

// The part bar counts kilobytes: a part fills it at part size / 1024, and a
// fetch advances it by 4096 / 1024 = 4 per block.
inline constexpr int kProgressDivisor = 1024;

// However the server behaves, each fetch of a preparation ends within this,
// and a whole preparation within the budget: the two preparations that run
// before the window opens share one, so that it opens within three minutes
// whatever the server does (each of its files dripping in included).
inline constexpr long kListDeadlineMs = 80000;
inline constexpr long kPreparationBudgetMs = 170000;

// Everything one download needs, owned by the main dialog: where it comes
// from, where it goes, the resume state, the two progress bars, the stop flag
// and the marker of the running worker. The worker reads and writes it from
// its own thread; the commands that would change what it reads (another
// package, Cleanup, a second Download) refuse while m_pWorker is set.
class DownloadState {
  public:
    explicit DownloadState(DialogItems& items);
    // Ends a running worker as closing does.
    ~DownloadState();
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    // The Download command: prepares again if the last preparation failed,
    // switches to the running state and starts the worker. Refuses while a
    // worker is recorded, so two never run at once.
    void OnDownload();
    // Sets the stop flag; Download and Cleanup are enabled when it is set,
    // Stop when it is clear.
    void SetRunState(int stop);
    void OnStop() { SetRunState(1); }

    bool IsDownloading() const { return m_pWorker.load(std::memory_order_acquire) != nullptr; }

    // The package's bytes on disk, kept by the worker as it goes: the parts
    // done count whole, the part on its way as far as it has come. For the
    // window's rate and time left, read from any thread.
    std::int64_t BytesDone() const { return m_nBytesDone.load(std::memory_order_relaxed); }
    // The package's size (m_nPackageBytes).
    std::int64_t PackageBytes() const { return m_nPackageBytes.load(std::memory_order_relaxed); }

    // The folder of m_strProgramPath, the package folder ("" for the root).
    std::string PackageFolderPath() const;

    // The proxy, "host:port" or empty; the worker takes a fresh copy for
    // every request, so a change applies to the next one.
    void SetProxy(const std::string& proxy);
    std::string GetProxy() const;

    // Closing: sets the stop flag, cuts a retry pause short, cancels a
    // running join (the next run does it again), closes the controls so that
    // the worker's calls to them and its message boxes return at once, then
    // joins the worker, which ends within about a second. The state is done
    // with afterwards.
    void StopAndJoin();
    int IsClosing() const { return m_bClosing.load(std::memory_order_relaxed); }
    // Waits for a running worker to end by itself (headless runs).
    void JoinWorker();

    // Used by the worker: the pause between attempts, cut short by closing.
    void RetryPause();
    // The worker waits out a retry pause now.
    bool IsPausing() const { return m_bPausing.load(); }

    // The preparations until EndSharedPreparationTime() share one budget
    // from now on; otherwise each preparation has one of its own.
    void BeginSharedPreparationTime();
    void EndSharedPreparationTime() { m_bSharedPreparationTime = false; }
    // Called by each preparation as it starts.
    void StartPreparationTime();
    // The limits of a fetch of the preparation, with what is left of its
    // budget as the deadline; PreparationTimeSpent when nothing is left.
    Result<FetchLimits> PreparationLimits(long long maxBytes) const;

    std::string m_strHost;
    std::string m_strServerFolder;
    ProgressCtrl m_progressOverall;
    ProgressCtrl m_progressPart;
    std::string m_strVersionFolder;
    std::string m_strVersion;
    PackageIndex m_index;
    std::atomic<int> m_bStop{0};
    std::atomic<std::thread*> m_pWorker{nullptr};
    int m_bNeedPrepare = 0;

    DialogItems& m_items;
    // The running program's file; its folder is the package folder.
    std::string m_strProgramPath;
    int m_nRetryPauseMs = 10000;
    // The version folder, held open by the last successful preparation:
    // every file of the download in it is reached through it.
    OwnFolder m_versionFolder;
    // The version folder whose resume state the last preparation could not
    // read, held so that Cleanup can put that file aside; closed otherwise.
    OwnFolder m_unreadableResumeFolder;
    // Limits of the fetches of the parts, and of the site list and the
    // index, which the preparation waits for on the user-interface thread.
    FetchLimits m_limits;
    FetchLimits m_listLimits{.deadlineMs = kListDeadlineMs};
    // The connection to the server, kept from one fetch to the next: the
    // preparation's files and the parts.
    KeptConnection m_connection;
    // The user's speed limit for the parts, in bytes per second (0: none):
    // set by the window, read by the worker's pacer at every block.
    std::atomic<std::int64_t> m_nSpeedLimit{0};
    RatePacer m_pacer{&m_nSpeedLimit};
    long m_nPreparationBudgetMs = kPreparationBudgetMs;
    // The maker's checksums of the resume state's parts, in order, and of
    // the installer; no parts' digests when the server publishes none.
    std::vector<Sha256Digest> m_partDigests;
    Sha256Digest m_installerDigest{};
    // The maker's minisign public key, the build's; empty when it names none.
    std::string m_strPublicKey = config::kMinisignPublicKey;
    std::atomic<int> m_bClosing{0};
    // The package's size in bytes, as far as it is known (the last part
    // counts as a whole one until it is there): for what the window tells of
    // the download's progress.
    std::atomic<std::int64_t> m_nPackageBytes{0};
    // What BytesDone() reads: counted from the resume state as the worker
    // starts, then written by the worker alone.
    std::atomic<std::int64_t> m_nBytesDone{0};
    // The worker's result of its last run, stored before it clears m_pWorker:
    // 0 finished or stopped, 9 gave up. Only the tests read it.
    std::atomic<int> m_nWorkerResult{0};
    // Microseconds from the last byte's write to the install button's
    // enabling, in a run that fetched the last part; -1 otherwise. For the
    // benchmark.
    std::atomic<std::int64_t> m_nLastByteToInstallUs{-1};

  private:
    // Sets m_nPackageBytes and m_nBytesDone from the resume state.
    void CountPackageBytes();

    std::chrono::steady_clock::time_point m_prepareBy{};
    bool m_bSharedPreparationTime = false;
    mutable std::mutex m_proxyMutex;
    std::string m_strProxy;
    std::thread m_workerThread;
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseCv;
    std::atomic<bool> m_bPausing{false};
};
