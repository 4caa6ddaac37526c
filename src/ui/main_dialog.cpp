#include "ui/main_dialog.h"

#include <QApplication>
#include <QCursor>
#include <QToolTip>

#include <algorithm>

#include "catalogue/package_files.h"
#include "engine/download_cleanup.h"
#include "engine/download_preparation.h"
#include "engine/download_worker.h"
#include "engine/package_display.h"
#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/about_dialog.h"
#include "ui/dialog_templates.h"
#include "ui/proxy_dialog.h"
#include "ui/string_table.h"
#include "ui/ui_resources.h"
#include "widgets/data_exchange.h"
#include "widgets/desktop_bus.h"
#include "widgets/image_resources.h"
#include "widgets/qt_message_box.h"
#include "widgets/shell.h"
#include "widgets/ui_thread.h"

namespace {

constexpr int kWatchIntervalMs = 1000;

}  // namespace

MainDialog::MainDialog() : Dialog(MainDialogTemplate()), m_download(Items()) {
    // A window that closed before this one closed the worker's calls.
    OpenUiThreadCalls();
    EnsureUiResources();
    m_hIcon = LoadIconResource(res::IDR_MAINFRAME);
    MapCommand(res::IDC_DOWNLOAD, [this] { OnDownload(); });
    MapCommand(res::IDC_INSTALL, [this] { OnInstall(); });
    MapCommand(res::IDC_STOP, [this] { OnStop(); });
    MapCommand(res::IDC_PROXY, [this] { OnProxy(); });
    MapCommand(res::IDC_CLEANUP, [this] { OnCleanup(); });
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, [this] { OnWatchTick(); });
    // A part that fails for good, told while the user looks elsewhere.
    SetWorkerBoxHook([this](const std::string& message) {
        if (IsAway()) {
            SendDesktopNotification(
                QString::fromUtf8(PackageInfoFor(g_currentPackage).displayName) +
                    QString::fromUtf8(text::kNoticeFailedAfter),
                QString::fromLocal8Bit(message.c_str()));
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
                menu->AppendMenu(WindowMenu::kString, command,
                                 QString::fromLocal8Bit(LoadStringResource(command).c_str()));
            }
            menu->AppendMenu(WindowMenu::kSeparator);
            menu->AppendMenu(WindowMenu::kString, res::IDM_ABOUTBOX,
                             QString::fromLocal8Bit(about.c_str()));
        }
    }
    setWindowIcon(m_hIcon);
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
    } else if (const PackageInfo* package = PackageForMenuCommand(command)) {
        SelectPackage(package->id);
    } else {
        Dialog::OnSysCommand(id);
    }
}

void MainDialog::SelectPackage(PackageId id) {
    ApplyPackage(id, false);
}

void MainDialog::ApplyPackage(PackageId id, bool keepServerFolder) {
    if (m_download.IsDownloading()) {
        ShowMessageBox(m_download.m_bStop.load() != 0 ? text::kPreviousDownloadCleaningUp
                                                      : text::kDownloadStillGoing);
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
    const PackageIndex& index = m_download.m_index;
    m_partCount = static_cast<int>(index.m_parts.size());
    m_totalBytes = m_download.m_nPackageBytes.load();
    m_lastPartBytes = m_partCount > 0 ? m_totalBytes - static_cast<std::int64_t>(m_partCount - 1) *
                                                           index.m_partSize
                                      : 0;
    m_meter.Reset();
    OnWatchTick();
    m_watch.start();
}

std::int64_t MainDialog::BytesDone() const {
    const int parts = std::min(m_download.m_progressOverall.GetPos(), m_partCount);
    const std::int64_t partSize = m_download.m_index.m_partSize;
    std::int64_t done = static_cast<std::int64_t>(std::min(parts, m_partCount - 1)) * partSize +
                        (parts >= m_partCount ? m_lastPartBytes : 0);
    if (parts < m_partCount) {
        done += static_cast<std::int64_t>(m_download.m_progressPart.GetPos()) * kProgressDivisor;
    }
    return std::min(std::max<std::int64_t>(done, 0), m_totalBytes);
}

void MainDialog::OnWatchTick() {
    const bool running = m_download.IsDownloading();
    const std::int64_t done = BytesDone();
    m_meter.Sample(TransferMeter::Clock::now(), done);
    const QString description = QString::fromUtf8(m_meter.Describe(done, m_totalBytes).c_str());
    QWidget* bar = GetDlgItem(res::IDC_PROGRESS_OVERALL);
    // Shown as it stands: a tooltip has no plain-text setting of its own.
    const QString tip = LiteralToolTip(description);
    bar->setToolTip(tip);
    bar->setAccessibleDescription(description);
    // A tooltip on show keeps its text; one the user is reading follows.
    if (QToolTip::isVisible() && bar->underMouse()) {
        QToolTip::showText(QCursor::pos(), tip, bar);
    }
    ShowTaskbarProgress(
        QString::fromUtf8(res::kMenuEntryId),
        m_totalBytes > 0 ? static_cast<double>(done) / static_cast<double>(m_totalBytes) : 0.0,
        running);
    if (running) {
        return;
    }
    m_watch.stop();
    // The worker set the overall bar full as its last act of a finished run.
    const bool ready = m_download.m_nWorkerResult.load() == kWorkerFinished &&
                       m_download.m_progressOverall.GetPos() == m_partCount + 1;
    if (ready && IsAway()) {
        SendDesktopNotification(QString::fromUtf8(PackageInfoFor(g_currentPackage).displayName) +
                                    QString::fromUtf8(text::kNoticeReadyAfter),
                                QString::fromUtf8(text::kNoticeReadyBody));
    }
}

bool MainDialog::IsAway() const {
    return !isActiveWindow();
}

void MainDialog::OnStop() {
    SetRunState(1);
}

void MainDialog::OnCleanup() {
    if (m_download.IsDownloading()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!DeleteDownloadFiles(m_download)) {
        QApplication::restoreOverrideCursor();
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
    QApplication::restoreOverrideCursor();
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
    ShellOpen(folder, kInstallerFileName);
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

void MainDialog::done(int result) {
    EndWorker();
    Dialog::done(result);
}

void MainDialog::EndWorker() {
    m_download.StopAndJoin();
}
