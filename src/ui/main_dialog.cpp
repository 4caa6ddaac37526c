#include "ui/main_dialog.h"

#include <algorithm>

#include "catalogue/package_files.h"
#include "engine/download_cleanup.h"
#include "engine/download_preparation.h"
#include "engine/download_worker.h"
#include "engine/installer_handover.h"
#include "engine/package_display.h"
#include "engine/speed_limit.h"
#include "framework/failure_text.h"
#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "framework/user_report.h"
#include "ui/about_dialog.h"
#include "ui/dialog_templates.h"
#include "ui/proxy_dialog.h"
#include "ui/speed_limit_dialog.h"
#include "ui/string_table.h"
#include "ui/ui_resources.h"
#include "widgets/data_exchange.h"
#include "widgets/desktop_notice.h"
#include "widgets/message_boxes.h"
#include "widgets/shell.h"
#include "widgets/ui_thread.h"

namespace {

constexpr int kWatchIntervalMs = 1000;

}  // namespace

MainDialog::MainDialog() : Dialog(MainDialogTemplate()), m_download(Items()) {
    // A window that closed before this one closed the worker's calls.
    OpenUiThreadCalls();
    EnsureUiResources();
    MapCommand(res::IDC_DOWNLOAD, [this] { OnDownload(); });
    MapCommand(res::IDC_INSTALL, [this] { OnInstall(); });
    MapCommand(res::IDC_STOP, [this] { OnStop(); });
    MapCommand(res::IDC_PROXY, [this] { OnProxy(); });
    MapCommand(res::IDC_CLEANUP, [this] { OnCleanup(); });
    // A part that fails for good, told while the user looks elsewhere.
    SetWorkerBoxHook([this](const std::string& message) {
        if (IsAway()) {
            SendDesktopNotification(
                Compose(text::kNoticeFailed,
                        {{"package", PackageInfoFor(g_currentPackage).displayName}}),
                message);
        }
    });
}

MainDialog::~MainDialog() {
    SetWorkerBoxHook({});
    EndWorker();
    // The bars' objects are members, gone before the widgets that show them.
    UnbindProgressBars();
}

int MainDialog::PrepareDownload() {
    return ::PrepareDownload(m_download);
}

bool MainDialog::OnInitDialog() {
    // Before the window shows, so that a failure's message comes first. This
    // preparation and the package selection's share one budget: the window
    // opens within it whatever the server does.
    m_download.BeginSharedPreparationTime();
    m_download.m_bNeedPrepare = 0;
    if (!PrepareDownload()) {
        m_download.m_bNeedPrepare = 1;
    }
    Dialog::OnInitDialog();

    if (WindowMenu* menu = GetSystemMenu()) {
        const std::string about = LoadStringResource(res::IDS_ABOUTBOX);
        if (!about.empty()) {
            menu->AppendMenu(WindowMenu::kSeparator);
            for (PackageId id = kPackageMain; id < kPackageCount; ++id) {
                const int command = PackageInfoFor(id).menuCommand;
                menu->AppendMenu(WindowMenu::kString, command, LoadStringResource(command));
            }
            menu->AppendMenu(WindowMenu::kSeparator);
            menu->AppendMenu(WindowMenu::kString, res::IDM_SPEED_LIMIT,
                             LoadStringResource(res::IDM_SPEED_LIMIT));
            menu->AppendMenu(WindowMenu::kString, res::IDM_ABOUTBOX, about);
        }
    }
    ApplySpeedLimit(ReadSpeedLimit(OwnFolder::Open(m_download.PackageFolderPath())));
    SetIcon(res::IDR_MAINFRAME);
    // The start-up's own package selection keeps a server folder from the
    // command line: it is what "-dir" asked for.
    ApplyPackage(g_currentPackage, true);
    m_download.EndSharedPreparationTime();
    return true;
}

void MainDialog::DoDataExchange(DataExchange& dx) {
    DDX_Control(dx, res::IDC_PROGRESS_OVERALL, m_download.m_progressOverall);
    DDX_Control(dx, res::IDC_PROGRESS_PART, m_download.m_progressPart);
    // Read back only while no worker uses the members.
    if (!dx.m_bSaveAndValidate || !m_download.IsDownloading()) {
        DDX_Text(dx, res::IDC_VERSION_FOLDER, m_download.m_strVersionFolder);
        DDX_Text(dx, res::IDC_VERSION, m_download.m_strVersion);
    }
}

void MainDialog::OnSysCommand(int id) {
    const int command = id & res::kSysCommandMask;
    if (command == res::IDM_ABOUTBOX) {
        AboutDialog about(this);
        about.DoModal();
    } else if (command == res::IDM_SPEED_LIMIT) {
        OnSpeedLimit();
    } else if (const PackageInfo* package = PackageForMenuCommand(command)) {
        SelectPackage(package->id);
    } else {
        Dialog::OnSysCommand(id);
    }
}

void MainDialog::OnSpeedLimit() {
    SpeedLimitDialog dialog(this);
    dialog.m_nSpeedLimitKiB = SpeedLimitKiB();
    if (dialog.DoModal() != res::IDOK || dialog.m_nSpeedLimitKiB == SpeedLimitKiB()) {
        return;
    }
    // At once, a part on its way included; then for the next start.
    ApplySpeedLimit(dialog.m_nSpeedLimitKiB);
    if (const Outcome saved =
            SaveSpeedLimit(OwnFolder::Open(m_download.PackageFolderPath()), SpeedLimitKiB());
        !saved) {
        Report(saved.Error());
    }
}

std::int64_t MainDialog::SpeedLimitKiB() const {
    return m_download.m_nSpeedLimit.load() / 1024;
}

void MainDialog::ApplySpeedLimit(std::int64_t kibPerSecond) {
    m_download.m_nSpeedLimit.store(kibPerSecond * 1024);
    if (WindowMenu* menu = GetSystemMenu()) {
        menu->CheckMenuItem(res::IDM_SPEED_LIMIT, kibPerSecond != 0);
    }
}

void MainDialog::SelectPackage(PackageId id) {
    ApplyPackage(id, false);
}

void MainDialog::ApplyPackage(PackageId id, bool keepServerFolder) {
    if (m_download.IsDownloading()) {
        if (m_download.m_bStop.load() != 0) {
            Report(Failure(FailureKind::PreviousDownloadCleaningUp));
        } else {
            ShowMessageBox(text::kDownloadStillGoing);
        }
        return;
    }
    const bool switched = id != g_currentPackage;
    if (WindowMenu* menu = GetSystemMenu()) {
        for (PackageId package = kPackageMain; package < kPackageCount; ++package) {
            menu->CheckMenuItem(PackageInfoFor(package).menuCommand, package == id);
        }
        SetDlgItemText(res::IDC_PACKAGE_GROUP, PackageInfoFor(id).caption);
    }
    if (!keepServerFolder) {
        m_download.m_strServerFolder.clear();
    }
    g_currentPackage = id;
    if (m_download.m_bNeedPrepare != 0) {
        // Prepared at the next Download; until then nothing of the package
        // shown before passes for the one now chosen.
        if (switched) {
            ShowNoPackage(m_download);
        }
        return;
    }
    if (!PrepareDownload()) {
        m_download.m_bNeedPrepare = 1;
        ShowNoPackage(m_download);
        return;
    }
    ShowPreparedPackage(m_download);
}

void MainDialog::OnDownload() {
    m_download.OnDownload();
    if (m_download.IsDownloading()) {
        WatchDownload();
    }
}

void MainDialog::WatchDownload() {
    // The index's sizes do not change while the worker runs; its flags do.
    m_partCount = static_cast<int>(m_download.m_index.m_parts.size());
    m_totalBytes = m_download.PackageBytes();
    m_meter.Reset();
    OnWatchTick();
    m_watch.Start(kWatchIntervalMs);
}

std::int64_t MainDialog::BytesDone() const {
    return std::min(std::max<std::int64_t>(m_download.BytesDone(), 0), m_totalBytes);
}

void MainDialog::OnWatchTick() {
    const bool running = m_download.IsDownloading();
    const std::int64_t done = BytesDone();
    m_meter.Sample(TransferMeter::Clock::now(), done);
    const std::string description = m_meter.Describe(done, m_totalBytes);
    SetItemToolTip(res::IDC_PROGRESS_OVERALL, description);
    SetItemDescription(res::IDC_PROGRESS_OVERALL, description);
    ShowTaskbarProgress(
        res::kMenuEntryId,
        m_totalBytes > 0 ? static_cast<double>(done) / static_cast<double>(m_totalBytes) : 0.0,
        running);
    if (running) {
        return;
    }
    m_watch.Stop();
    // The worker set the overall bar full as its last act of a finished run.
    const bool ready = m_download.m_nWorkerResult.load() == kWorkerFinished &&
                       m_download.m_progressOverall.GetPos() == m_partCount + 1;
    if (ready && IsAway()) {
        SendDesktopNotification(
            Compose(text::kNoticeReady,
                    {{"package", PackageInfoFor(g_currentPackage).displayName}}),
            text::kNoticeReadyBody);
    }
}

bool MainDialog::IsAway() const {
    return !IsActive();
}

void MainDialog::OnStop() {
    SetRunState(1);
}

void MainDialog::OnCleanup() {
    if (m_download.IsDownloading()) {
        return;
    }
    BeginWaitCursor();
    if (!DeleteDownloadFiles(m_download)) {
        EndWaitCursor();
        ShowMessageBox(text::kCleanupWithoutFolder);
        return;
    }
    m_download.m_strHost.clear();
    m_download.m_bNeedPrepare = 0;
    if (PrepareDownload()) {
        ShowPreparedPackage(m_download);
    } else {
        m_download.m_bNeedPrepare = 1;
        // The installer went with the other files; the bars start again.
        ShowNoPackage(m_download);
    }
    EndWaitCursor();
}

void MainDialog::OnInstall() {
    // What the window names must still be what the preparation opened: a
    // version folder or installer swapped for a link since is not opened,
    // not even through the held folder.
    const OwnFolder& folder = m_download.m_versionFolder;
    if (!IsSameOwnEntry(folder, kInstallerFileName,
                        m_download.m_strVersionFolder + kPathSeparator + kInstallerFileName)) {
        ShowMessageBox(text::kInstallerChanged);
        return;
    }
    const Result<OwnFolder> handed = HandOverInstaller(m_download);
    if (!handed) {
        Report(handed.Error());
        return;
    }
    ShellOpen(*handed, kInstallerFileName);
}

void MainDialog::OnProxy() {
    ProxyDialog proxy(this);
    if (proxy.DoModal() != res::IDOK) {
        return;
    }
    if (proxy.m_strProxyHost.empty()) {
        m_download.SetProxy("");
        return;
    }
    // The dialog accepts a port from 1 to 65535 only.
    m_download.SetProxy(proxy.m_strProxyHost + ":" + std::to_string(proxy.m_nProxyPort));
}

void MainDialog::OnClose() {
    m_download.m_bStop.store(1);
    Dialog::OnClose();
}

void MainDialog::OnEnding() {
    EndWorker();
}

void MainDialog::EndWorker() {
    m_download.StopAndJoin();
}
