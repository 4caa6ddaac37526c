#include "ui/main_dialog.h"

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdio>
#include <thread>

#include "catalogue/package_files.h"
#include "engine/download_cleanup.h"
#include "engine/download_preparation.h"
#include "engine/installer_check.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/about_dialog.h"
#include "ui/dialog_templates.h"
#include "ui/proxy_dialog.h"
#include "ui/string_table.h"
#include "ui/ui_resources.h"
#include "widgets/data_exchange.h"
#include "widgets/image_resources.h"
#include "widgets/shell.h"
#include "widgets/ui_thread.h"

MainDialog::MainDialog() : Dialog(MainDialogTemplate()), m_download(Items()) {
    EnsureUiResources();
    m_hIcon = LoadIconResource(res::IDR_MAINFRAME);
    MapCommand(res::IDC_DOWNLOAD, [this] { OnDownload(); });
    MapCommand(res::IDC_INSTALL, [this] { OnInstall(); });
    MapCommand(res::IDC_STOP, [this] { OnStop(); });
    MapCommand(res::IDC_PROXY, [this] { OnProxy(); });
    MapCommand(res::IDC_CLEANUP, [this] { OnCleanup(); });
}

MainDialog::~MainDialog() {
    WaitForWorker();
}

int MainDialog::PrepareDownload() {
    return ::PrepareDownload(m_download);
}

bool MainDialog::OnInitDialog() {
    // Before the window shows, so that a failure's message comes first.
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
    SelectPackage(g_currentPackage);
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
    if (m_download.IsDownloading()) {
        ShowMessageBox(m_download.m_bStop.load() != 0 ? text::kPreviousDownloadCleaningUp
                                                      : text::kDownloadStillGoing);
        return;
    }
    if (WindowMenu* menu = GetSystemMenu()) {
        for (PackageId package = kPackageMain; package < kPackageCount; ++package) {
            menu->CheckMenuItem(PackageInfoFor(package).menuCommand, package == id);
        }
        SetDlgItemText(res::IDC_PACKAGE_GROUP, PackageInfoFor(id).caption);
    }
    m_download.m_strServerFolder.clear();
    g_currentPackage = id;
    if (m_download.m_bNeedPrepare != 0) {
        return;
    }
    if (!PrepareDownload()) {
        m_download.m_bNeedPrepare = 1;
        return;
    }
    // The window shows the package it will download.
    SetDlgItemText(res::IDC_VERSION, m_download.m_strVersion);
    SetDlgItemText(res::IDC_VERSION_FOLDER, m_download.m_strVersionFolder);

    const bool ready = KeepInstallerIfComplete(m_download);
    GetDlgItem(res::IDC_INSTALL)->setEnabled(ready);
    const int count = static_cast<int>(m_download.m_index.m_parts.size());
    m_download.m_progressOverall.SetRange(0, count + 1);
    m_download.m_progressOverall.SetStep(1);
    m_download.m_progressOverall.SetPos(ready ? count + 1
                                              : m_download.m_index.FirstUnfinishedPart());
    m_download.m_progressPart.SetRange(0, m_download.m_index.m_partSize / kProgressDivisor);
    GetDlgItem(res::IDC_PART_LABEL)->hide();
    GetDlgItem(res::IDC_PROGRESS_PART)->hide();
}

void MainDialog::OnDownload() {
    m_download.OnDownload();
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
    if (!PrepareDownload()) {
        m_download.m_bNeedPrepare = 1;
    }
    m_download.m_progressOverall.SetPos(0);
    m_download.m_progressPart.SetPos(0);
    // The installer went with the other files.
    GetDlgItem(res::IDC_INSTALL)->setEnabled(KeepInstallerIfComplete(m_download));
    QApplication::restoreOverrideCursor();
}

void MainDialog::OnInstall() {
    ShellOpen(m_download.m_strVersionFolder + "/" + kInstallerFileName);
}

void MainDialog::OnProxy() {
    ProxyDialog proxy;
    if (proxy.DoModal() != res::IDOK) {
        return;
    }
    if (proxy.m_strProxyHost.empty()) {
        m_download.SetProxy("");
        return;
    }
    char port[16];
    std::snprintf(port, sizeof port, "%d", static_cast<int>(proxy.m_nProxyPort));
    m_download.SetProxy(proxy.m_strProxyHost + ":" + port);
}

void MainDialog::OnClose() {
    m_download.m_bStop.store(1);
    Dialog::OnClose();
}

void MainDialog::done(int result) {
    Dialog::done(result);
    WaitForWorker();
}

void MainDialog::WaitForWorker() {
    // The worker's pending calls to this thread still have to run.
    m_download.StopAndWait([] {
        RunPendingUiCalls();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
}
