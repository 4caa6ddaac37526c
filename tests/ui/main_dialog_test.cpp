#include "main_dialog_fixture.h"
#include "ui/proxy_dialog.h"
#include "window_driver.h"

namespace {

using Fault = TestHttpServer::Fault;
using namespace res;

TEST_F(MainDialogTest, OpeningPreparesAndSetsUpThePackage) {
    WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt",
              "1\n7.6\n10\n1048576\na\n0\nb\n0\nc\n0\nd\n0\ne\n0\nf\n0\ng\n0\nh\n0\ni\n0\nj\n0\n");
    WriteFile(m_packageFolder / "7.6/pkgindex.txt",
              "1\n7.6\n10\n1048576\na\n1\nb\n1\nc\n1\nd\n0\ne\n0\nf\n0\ng\n0\nh\n0\ni\n0\nj\n0\n");
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Settle();
        EXPECT_TRUE(m_messages.Texts().empty());
        EXPECT_EQ(dialog->GetDlgItemText(IDC_VERSION), "7.6");
        EXPECT_EQ(dialog->GetDlgItemText(IDC_VERSION_FOLDER), m_packageFolder / "7.6");
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Main Package");
        EXPECT_EQ(Bar(*dialog, IDC_PROGRESS_OVERALL).upper, 11);
        EXPECT_EQ(Bar(*dialog, IDC_PROGRESS_OVERALL).pos, 3);
        EXPECT_EQ(Bar(*dialog, IDC_PROGRESS_PART).upper, 1024);
        EXPECT_FALSE(Visible(*dialog, IDC_PROGRESS_PART));
        EXPECT_FALSE(Visible(*dialog, IDC_PART_LABEL));
        EXPECT_FALSE(Enabled(*dialog, IDC_INSTALL)) << "no installer yet";
        const std::vector<std::pair<std::string, bool>> menu = {
            {"Minimize", false},
            {"Close", false},
            {"-", false},
            {"Download Velmora Main Package", true},
            {"Download Velmora TTS Tobrin", false},
            {"Download Velmora TTS Vessa", false},
            {"-", false},
            {"&Limit Download Speed...", false},
            {"&About Velmora Quindle and Install", false}};
        EXPECT_EQ(MenuEntries(*dialog), menu);
        EXPECT_TRUE(HasWindowIcon(*dialog));
    });
    // The preparation ran twice: on opening and for the package.
    EXPECT_EQ(m_server.CountRequests("/download/quindle7/pkgindex.txt"), 2);
}

TEST_F(MainDialogTest, AnInstallerCountsAsReadyFromItsCompleteSizeOn) {
    const PublishedPackage package = Publish(kPackageMain, 10, 4096);
    MakeDirectoryTree(VersionFolder() + "/");
    for (const auto& [size, ready] : {std::pair{9 * 4096, true}, std::pair{9 * 4096 - 1, false}}) {
        WriteFile(VersionFolder() + "/velmora.exe",
                  std::string(static_cast<std::size_t>(size), 'x'));
        auto dialog = MakeDialog();
        RunModal(*dialog, [&] {
            Settle();
            EXPECT_EQ(Enabled(*dialog, IDC_INSTALL), ready) << size;
            EXPECT_EQ(Bar(*dialog, IDC_PROGRESS_OVERALL).pos, ready ? 11 : 0) << size;
        });
        EXPECT_EQ(FileExists(VersionFolder() + "/velmora.exe"), ready) << "a short one is deleted";
    }
}

TEST_F(MainDialogTest, ThePackageEntriesSwitchPackage) {
    Publish(kPackageMain);
    Publish(kPackageTobrin);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        ChooseMenuEntry(*dialog, IDM_PACKAGE_TOBRIN);
        EXPECT_EQ(g_currentPackage, kPackageTobrin);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Text-to-Speech Tobrin");
        EXPECT_EQ(dialog->GetDlgItemText(IDC_VERSION_FOLDER), VersionFolder(kPackageTobrin));
        EXPECT_EQ(dialog->m_download.m_strServerFolder, "/download/ttstobrin");
        const auto menu = MenuEntries(*dialog);
        EXPECT_FALSE(menu[3].second);
        EXPECT_TRUE(menu[4].second);

        const int before = m_server.CountRequests("/download/ttstobrin/pkgindex.txt");
        ChooseMenuEntry(*dialog, IDM_PACKAGE_TOBRIN);
        EXPECT_EQ(m_server.CountRequests("/download/ttstobrin/pkgindex.txt"), before + 1)
            << "the same package prepares again";
        EXPECT_TRUE(m_messages.Texts().empty());
    });
}

TEST_F(MainDialogTest, WhileAPreparationIsPendingASwitchOnlyRecordsThePackage) {
    auto dialog = MakeDialog();  // nothing published: the first preparation fails
    RunModal(*dialog, [&] {
        ASSERT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_EQ(dialog->m_download.m_bNeedPrepare, 1);
        m_server.ClearRequests();
        ChooseMenuEntry(*dialog, IDM_PACKAGE_VESSA);
        EXPECT_EQ(g_currentPackage, kPackageVessa);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Text-to-Speech Vessa");
        EXPECT_TRUE(MenuEntries(*dialog)[5].second);
        EXPECT_TRUE(m_server.Requests().empty()) << "the preparation waits for Download";

        // Download prepares first, for the package now chosen.
        Publish(kPackageVessa);
        Click(*dialog, IDC_DOWNLOAD);
        WaitForWorker(*dialog);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_VERSION_FOLDER), VersionFolder(kPackageVessa));
        EXPECT_TRUE(FileExists(VersionFolder(kPackageVessa) + "/velmora.exe"));
    });
}

TEST_F(MainDialogTest, CommandsFollowTheStateTable) {
    const PublishedPackage package = Publish();
    // The second part always fails, and the pause after it lasts until the
    // dialog ends: from its first attempt on, the worker provably runs, and
    // after Stop it provably stays in the stopping phase.
    m_server.SetFault(package.RemotePath(1), Fault{.status = 503, .body = "<html>busy</html>"});
    auto dialog = MakeDialog();
    dialog->m_download.m_nRetryPauseMs = 10 * 60 * 1000;
    RunModal(*dialog, [&] {
        // Idle: Stop sets the flag and the buttons.
        Click(*dialog, IDC_STOP);
        EXPECT_NE(dialog->m_download.m_bStop.load(), 0);
        EXPECT_FALSE(Enabled(*dialog, IDC_STOP));
        EXPECT_TRUE(Enabled(*dialog, IDC_DOWNLOAD));
        EXPECT_TRUE(Enabled(*dialog, IDC_CLEANUP));

        // Running.
        Click(*dialog, IDC_DOWNLOAD);
        EXPECT_EQ(dialog->m_download.m_bStop.load(), 0) << "Download clears the flag";
        ASSERT_TRUE(WaitUntil([&] { return dialog->m_download.IsPausing(); },
                              "the pause after the failing part"));
        ASSERT_TRUE(dialog->m_download.IsDownloading());
        EXPECT_FALSE(Enabled(*dialog, IDC_DOWNLOAD));
        EXPECT_FALSE(Enabled(*dialog, IDC_CLEANUP));
        ChooseMenuEntry(*dialog, IDM_PACKAGE_TOBRIN);
        EXPECT_EQ(m_messages.Texts(),
                  std::vector<std::string>{"Download is still going, please stop it first"});
        EXPECT_EQ(g_currentPackage, kPackageMain);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Main Package");
        EXPECT_TRUE(MenuEntries(*dialog)[3].second);

        // Stopping: the worker sits in its retry pause.
        Click(*dialog, IDC_STOP);
        m_messages.Clear();
        ChooseMenuEntry(*dialog, IDM_PACKAGE_TOBRIN);
        Click(*dialog, IDC_CLEANUP);
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(dialog->m_download.IsDownloading());
        EXPECT_EQ(m_messages.Texts(),
                  (std::vector<std::string>{
                      "Previous download is trying to cleanup, please wait a few seconds",
                      "Previous download is trying to cleanup, please wait a few seconds"}));
        EXPECT_TRUE(FileExists(VersionFolder() + "/velmora.001")) << "Cleanup was ignored";
        EXPECT_EQ(g_currentPackage, kPackageMain);
        EXPECT_EQ(m_server.CountRequests(package.RemotePath(1)), 1) << "no second worker";
        // Ending the dialog cuts the pause short.
        Click(*dialog, IDOK);
    });
    EXPECT_FALSE(dialog->m_download.IsDownloading());
    EXPECT_EQ(m_messages.Texts().size(), 2u) << "closing shows nothing";
}

TEST_F(MainDialogTest, AWholeDownloadThroughTheWindowThenStopAndResume) {
    const PublishedPackage package = Publish(kPackageMain, 8);
    m_server.SetFault(package.RemotePath(3),
                      Fault{.dripIntervalMs = 10, .dripBytes = 1024, .times = 1});
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        // Until the slow fourth part is under way, its bar part filled.
        WaitUntil(
            [&] {
                const Dialog::ProgressShown part = Bar(*dialog, IDC_PROGRESS_PART);
                return dialog->GetDlgItemText(IDC_PART_LABEL) == "velmora.004" &&
                       Visible(*dialog, IDC_PROGRESS_PART) && part.pos > 0 && part.pos < part.upper;
            },
            "the fourth part's bar to be partly filled");
        Settle();
        EXPECT_EQ(Bar(*dialog, IDC_PROGRESS_OVERALL).pos, 3);
        Click(*dialog, IDC_STOP);
        WaitForWorker(*dialog);
        EXPECT_FALSE(FileExists(VersionFolder() + "/velmora.exe"));

        Click(*dialog, IDC_DOWNLOAD);
        WaitForWorker(*dialog);
        WaitUntil([&] { return Bar(*dialog, IDC_PROGRESS_OVERALL).pos == 9; },
                  "the overall bar to be full");
        EXPECT_TRUE(Enabled(*dialog, IDC_INSTALL));
        EXPECT_FALSE(Visible(*dialog, IDC_PROGRESS_PART));
        EXPECT_FALSE(Visible(*dialog, IDC_PART_LABEL));
        EXPECT_EQ(ReadFile(VersionFolder() + "/velmora.exe"), package.installer);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(m_server.CountRequests(package.RemotePath(i)), 1);
        }
        EXPECT_TRUE(m_messages.Texts().empty());
        Click(*dialog, IDOK);
    });
}

TEST_F(MainDialogTest, ClosingDuringADownloadEndsPromptlyWithTheResumeStateIntact) {
    const PublishedPackage package = Publish(kPackageMain, 8);
    m_server.SetFault(package.RemotePath(2), Fault{.stallAfterBytes = 3000});
    auto dialog = MakeDialog();
    dialog->m_download.m_nRetryPauseMs = 10 * 60 * 1000;  // were closing not to cut it, this hangs
    const int result = RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return m_server.CountRequests(package.RemotePath(2)) > 0; },
                  "the third part to be asked for");
        dialog->CloseWindow();
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(dialog->m_download.IsDownloading());
    PackageIndex stored;
    IndexLoadError error = CannotOpen;
    ASSERT_EQ(stored.Load(VersionFolder() + "/pkgindex.txt", error), 1);
    EXPECT_EQ(stored.FirstUnfinishedPart(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ReadFile(VersionFolder() + "/" + package.partNames[i]), package.PartBytes(i));
    }
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(MainDialogTest, ClosingWhileTheWorkerWaitsOnTheWindowDoesNotDeadlock) {
    // Many small parts: the worker calls into the window all the time.
    const PublishedPackage package = Publish(kPackageMain, 400, 64);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return m_server.CountRequests(package.RemotePath(20)) > 0; },
                  "the 21st part to be asked for");
        // The close is queued first; the worker's next call to the window
        // queues up behind it while this thread sleeps. Inside the posted
        // close, a nested event loop would not deliver that call.
        RunLater(0, [&] { dialog->CloseWindow(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        WaitUntil([&] { return !dialog->IsOpen(); }, "the window to close");
    });
    EXPECT_FALSE(dialog->m_download.IsDownloading());
    PackageIndex stored;
    IndexLoadError error = CannotOpen;
    EXPECT_EQ(stored.Load(VersionFolder() + "/pkgindex.txt", error), 1);
}

TEST_F(MainDialogTest, CleanupDeletesTheVersionFolderAndStartsAgain) {
    const PublishedPackage package = Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        WaitForWorker(*dialog);
        Click(*dialog, IDC_STOP);
        ASSERT_TRUE(FileExists(VersionFolder() + "/velmora.exe"));
        m_server.ClearRequests();
        Click(*dialog, IDC_CLEANUP);
        EXPECT_EQ(
            m_packageFolder.Listing(),
            (std::vector<std::string>{"7.6", "7.6/pkgindex.txt", "pkgindex.txt", "sites.txt"}));
        EXPECT_EQ(m_server.CountRequests("/download/sites"), 1) << "the host is looked up again";
        EXPECT_EQ(dialog->m_download.m_index.FirstUnfinishedPart(), 0);
        EXPECT_EQ(dialog->m_download.m_progressOverall.GetPos(), 0);
        EXPECT_FALSE(Enabled(*dialog, IDC_INSTALL));
        EXPECT_TRUE(m_messages.Texts().empty());
    });
}

TEST_F(MainDialogTest, CleanupBeforeAnyPreparationSaysSo) {
    auto dialog = MakeDialog();  // no server content: the preparation fails
    RunModal(*dialog, [&] {
        m_messages.Clear();
        Click(*dialog, IDC_CLEANUP);
        EXPECT_EQ(
            m_messages.Texts(),
            std::vector<std::string>{"There is nothing to clean up yet: no package folder has been "
                                     "prepared. Please click Download first."});
        EXPECT_TRUE(m_packageFolder.Listing().empty()) << "nothing was deleted or created";
    });
}

TEST_F(MainDialogTest, TheProxyDialogSetsTheProxyForTheNextRequests) {
    auto dialog = MakeDialog();
    const auto answer = [&](const std::string& host, const std::string& port, int button,
                            const char* refusal = nullptr) {
        OnNextModal<ProxyDialog>([host, port, button, refusal, &dialog, this](ProxyDialog& proxy) {
            EXPECT_EQ(proxy.GetDlgItemText(IDC_PROXY_HOST), "") << "a fresh dialog every time";
            EXPECT_EQ(proxy.GetDlgItemText(IDC_PROXY_PORT), "0");
            EXPECT_TRUE(IsOwnedBy(proxy, *dialog)) << "owned by the main window";
            // The focus arrives with the activation, which a window manager
            // may pass on a moment after the dialog shows.
            EXPECT_TRUE(WaitUntil([&] { return proxy.FocusedItem() == IDC_PROXY_HOST; },
                                  "the focus in the host field"));
            proxy.SetDlgItemText(IDC_PROXY_HOST, host);
            proxy.SetDlgItemText(IDC_PROXY_PORT, port);
            m_messages.Clear();
            Click(proxy, button);
            if (refusal != nullptr) {
                EXPECT_TRUE(proxy.IsOpen()) << port;
                EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{refusal}) << port;
                Click(proxy, IDCANCEL);
            }
        });
    };
    const char* range = "Please enter a port number from 1 to 65535.";
    RunModal(*dialog, [&] {
        answer("proxy1", "81", IDOK);
        Click(*dialog, IDC_PROXY);
        EXPECT_EQ(dialog->m_download.GetProxy(), "proxy1:81");
        answer("proxy1", "65535", IDOK);
        Click(*dialog, IDC_PROXY);
        EXPECT_EQ(dialog->m_download.GetProxy(), "proxy1:65535");
        // Read unsigned, these were once printed signed: -5 and a wrapped number.
        for (const char* port : {"0", "65536", "4294967291", "99999999999"}) {
            answer("proxy1", port, IDOK, range);
            Click(*dialog, IDC_PROXY);
            EXPECT_EQ(dialog->m_download.GetProxy(), "proxy1:65535") << port;
        }
        answer("other", "99", IDCANCEL);
        Click(*dialog, IDC_PROXY);
        EXPECT_EQ(dialog->m_download.GetProxy(), "proxy1:65535") << "Cancel keeps the setting";
        answer("", "0", IDOK);
        Click(*dialog, IDC_PROXY);
        EXPECT_EQ(dialog->m_download.GetProxy(), "") << "no host means no proxy, any port";
    });
}

TEST_F(MainDialogTest, DoneAndEscapeEndTheDialog) {
    Publish();
    auto dialog = MakeDialog();
    EXPECT_EQ(RunModal(*dialog, [&] { Click(*dialog, IDOK); }), IDOK);
    EXPECT_EQ(dialog->m_download.m_strVersion, "7.6") << "read back from control 1007";
    EXPECT_EQ(dialog->m_download.m_bStop.load(), 0);
    auto again = MakeDialog();
    EXPECT_EQ(RunModal(*again,
                       [&] {
                           PressKey(*again, Key::Escape);
                           EXPECT_FALSE(again->IsOpen());
                       }),
              IDCANCEL);
}

}  // namespace
