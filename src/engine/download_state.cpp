#include "engine/download_state.h"

#include <chrono>

#include "engine/download_preparation.h"
#include "engine/download_worker.h"
#include "engine/package_display.h"
#include "framework/dialog_items.h"
#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "framework/own_files.h"
#include "framework/resource_ids.h"
#include "framework/user_report.h"

DownloadState::DownloadState(DialogItems& items)
    : m_items(items), m_strProgramPath(ModuleFileName()) {}

DownloadState::~DownloadState() {
    StopAndJoin();
}

void DownloadState::SetRunState(int stop) {
    m_bStop.store(stop);
    m_items.EnableItem(res::IDC_DOWNLOAD, stop != 0);
    m_items.EnableItem(res::IDC_STOP, stop == 0);
    m_items.EnableItem(res::IDC_CLEANUP, stop != 0);
}

void DownloadState::OnDownload() {
    // After Stop, Download is enabled again while the worker may still finish
    // its chunk or its retry pause; a second worker must not start beside it.
    if (IsDownloading()) {
        Report(Failure(FailureKind::PreviousDownloadCleaningUp));
        return;
    }
    if (m_bNeedPrepare != 0) {
        m_bNeedPrepare = 0;
        if (!PrepareDownload(*this)) {
            m_bNeedPrepare = 1;
            return;
        }
        // The window shows what this preparation found, exactly as after a
        // package switch: texts, install button, both bars, the Part row.
        ShowPreparedPackage(*this);
    }
    SetRunState(0);
    if (m_workerThread.joinable()) {
        // The previous worker has cleared its marker and is only returning.
        m_workerThread.join();
    }
    CountPackageBytes();
    // The marker is stored before the thread exists, so the worker's final
    // clearing always comes after it.
    m_pWorker.store(&m_workerThread, std::memory_order_release);
    m_workerThread = std::thread([this] { DownloadWorker(*this); });
}

void DownloadState::CountPackageBytes() {
    const std::size_t count = m_index.m_parts.size();
    std::int64_t total = 0;
    std::int64_t done = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const PackagePart& part = m_index.m_parts[i];
        std::int64_t size = m_index.m_partSize;
        EntryInfo last;
        if (i + 1 == count && part.m_done != 0 &&
            StatOwnEntry(m_versionFolder, part.m_name, last) && last.kind == EntryKind::File) {
            size = last.size;
        }
        total += size;
        done += part.m_done != 0 ? size : 0;
    }
    m_nPackageBytes.store(total);
    m_nBytesDone.store(done);
}

std::string DownloadState::PackageFolderPath() const {
    return FolderOfPath(m_strProgramPath);
}

void DownloadState::SetProxy(const std::string& proxy) {
    std::lock_guard lock(m_proxyMutex);
    m_strProxy = proxy;
}

std::string DownloadState::GetProxy() const {
    std::lock_guard lock(m_proxyMutex);
    return m_strProxy;
}

void DownloadState::RetryPause() {
    std::unique_lock lock(m_pauseMutex);
    m_bPausing.store(true);
    m_pauseCv.wait_for(lock, std::chrono::milliseconds(m_nRetryPauseMs),
                       [this] { return IsClosing() != 0; });
    m_bPausing.store(false);
}

void DownloadState::BeginSharedPreparationTime() {
    m_bSharedPreparationTime = false;
    StartPreparationTime();
    m_bSharedPreparationTime = true;
}

void DownloadState::StartPreparationTime() {
    if (!m_bSharedPreparationTime) {
        m_prepareBy =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nPreparationBudgetMs);
    }
}

Result<FetchLimits> DownloadState::PreparationLimits(long long maxBytes) const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          m_prepareBy - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
        return Failure(FailureKind::PreparationTimeSpent);
    }
    FetchLimits limits = m_listLimits;
    limits.maxBytes = maxBytes;
    if (limits.deadlineMs <= 0 || left < limits.deadlineMs) {
        limits.deadlineMs = static_cast<long>(left);
    }
    return limits;
}

void DownloadState::StopAndJoin() {
    if (IsDownloading()) {
        m_bStop.store(1);
    }
    {
        std::lock_guard lock(m_pauseMutex);
        m_bClosing.store(1);
    }
    m_pauseCv.notify_all();
    m_items.Close();
    JoinWorker();
}

void DownloadState::JoinWorker() {
    if (m_workerThread.joinable()) {
        m_workerThread.join();
    }
}
