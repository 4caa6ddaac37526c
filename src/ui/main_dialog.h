#pragma once

#include <cstdint>

#include "catalogue/package_table.h"
#include "engine/download_state.h"
#include "ui/transfer_meter.h"
#include "widgets/dialog.h"
#include "widgets/ui_thread.h"

// The download window. It owns the download state (m_download: host, server
// folder, version folder, version, resume state, progress bars, stop flag,
// worker marker, proxy) and offers Download, Stop, Cleanup, Proxy..., the
// install button and Done; the window menu switches between the packages
// and sets a speed limit.
class MainDialog : public Dialog {
  public:
    MainDialog();
    ~MainDialog() override;

    int PrepareDownload();
    // The user's package choice: it also forgets a server folder that the
    // command line preset.
    void SelectPackage(PackageId id);
    void SetRunState(int stop) { m_download.SetRunState(stop); }

    DownloadState m_download;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(DataExchange& dx) override;
    void OnSysCommand(int id) override;
    void OnClose() override;
    // However the dialog ends, the worker is ended and joined first: from
    // then on nothing of it reaches the window.
    void OnEnding() override;

  private:
    void ApplyPackage(PackageId id, bool keepServerFolder);
    void OnDownload();
    void OnStop();
    void OnCleanup();
    void OnInstall();
    void OnProxy();
    void OnSpeedLimit();
    std::int64_t SpeedLimitKiB() const;
    // Makes the limit the pacer's and marks the menu entry while one is set.
    void ApplySpeedLimit(std::int64_t kibPerSecond);
    void EndWorker();
    // While a download runs, once a second: the overall bar's tooltip and
    // accessible description (done, rate, time left) and the taskbar's
    // progress; at its end a notification if the user looks elsewhere.
    void WatchDownload();
    void OnWatchTick();
    // The engine's count of the bytes done, within the package's size.
    std::int64_t BytesDone() const;
    bool IsAway() const;

    RepeatingTimer m_watch{[this] { OnWatchTick(); }};
    TransferMeter m_meter;
    std::int64_t m_totalBytes = 0;
    int m_partCount = 0;
};
