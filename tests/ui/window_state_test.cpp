// What the window shows after each kind of preparation, and how its message
// boxes relate to it.

#include "main_dialog_fixture.h"
#include "window_driver.h"

namespace {

using Fault = TestHttpServer::Fault;
using namespace res;

class WindowStateTest : public MainDialogTest {
  protected:
    // The window's package state, as the user sees it.
    struct Shown {
        std::string version;
        std::string folder;
        bool install;
        int overallMax;
        int overallPos;
        int partMax;
        bool partRow;
    };
    static Shown Read(MainDialog& dialog) {
        Settle();
        return {dialog.GetDlgItemText(IDC_VERSION),
                dialog.GetDlgItemText(IDC_VERSION_FOLDER),
                Enabled(dialog, IDC_INSTALL),
                Bar(dialog, IDC_PROGRESS_OVERALL).upper,
                Bar(dialog, IDC_PROGRESS_OVERALL).pos,
                Bar(dialog, IDC_PROGRESS_PART).upper,
                Visible(dialog, IDC_PART_LABEL) || Visible(dialog, IDC_PROGRESS_PART)};
    }
    static void Expect(const Shown& shown, const Shown& expected, const std::string& what) {
        EXPECT_EQ(shown.version, expected.version) << what;
        EXPECT_EQ(shown.folder, expected.folder) << what;
        EXPECT_EQ(shown.install, expected.install) << what;
        EXPECT_EQ(shown.overallMax, expected.overallMax) << what;
        EXPECT_EQ(shown.overallPos, expected.overallPos) << what;
        EXPECT_EQ(shown.partMax, expected.partMax) << what;
        EXPECT_EQ(shown.partRow, expected.partRow) << what;
    }
};

TEST_F(WindowStateTest, ADownloadThatHadToPrepareSetsUpTheWindowAsASwitchDoes) {
    auto dialog = MakeDialog();  // nothing published yet: the first preparation fails
    RunModal(*dialog, [&] {
        ASSERT_EQ(dialog->m_download.m_bNeedPrepare, 1);
        // 9 parts of 16 KiB, the first of which stalls: the bars are read
        // before anything arrives.
        const PublishedPackage package = Publish(kPackageMain, 9);
        m_server.SetFault(package.RemotePath(0), Fault{.stallAfterBytes = 0});
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(dialog->m_download.IsDownloading());
        // Read before the worker's own calls to the window have run; the
        // bars from the objects they show.
        Expect({dialog->GetDlgItemText(IDC_VERSION), dialog->GetDlgItemText(IDC_VERSION_FOLDER),
                Enabled(*dialog, IDC_INSTALL),
                dialog->m_download.m_progressOverall.TakeSnapshot().upper,
                dialog->m_download.m_progressOverall.GetPos(),
                dialog->m_download.m_progressPart.TakeSnapshot().upper,
                Visible(*dialog, IDC_PART_LABEL) || Visible(*dialog, IDC_PROGRESS_PART)},
               {"7.6", VersionFolder(), false, 10, 0, 16, false}, "right after Download");
        Click(*dialog, IDOK);
    });
}

TEST_F(WindowStateTest, AFailedSwitchShowsNothingOfThePreviousPackage) {
    const PublishedPackage package = Publish(kPackageMain);
    MakeDirectoryTree(VersionFolder() + "/");
    WriteFile(VersionFolder() + "/velmora.exe", package.installer);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Expect(Read(*dialog), {"7.6", VersionFolder(), true, 7, 7, 16, false}, "the main package");
        ChooseMenuEntry(*dialog, IDM_PACKAGE_TOBRIN);  // not published: the preparation fails
        ASSERT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Text-to-Speech Tobrin");
        const Shown shown = Read(*dialog);
        EXPECT_EQ(shown.version, "");
        EXPECT_EQ(shown.folder, "");
        EXPECT_FALSE(shown.install) << "the main package's installer is not Tobrin's";
        EXPECT_EQ(shown.overallPos, 0);
        EXPECT_FALSE(shown.partRow);

        // Cleanup now has nothing of Tobrin to clean, and leaves the main
        // package's files alone.
        m_messages.Clear();
        Click(*dialog, IDC_CLEANUP);
        EXPECT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_TRUE(FileExists(VersionFolder() + "/velmora.exe"));
    });
}

TEST_F(WindowStateTest, CleanupShowsThePackageItPreparedAgain) {
    const PublishedPackage first = Publish(kPackageMain, 6);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return !dialog->m_download.IsDownloading(); }, "the download");
        Click(*dialog, IDC_STOP);
        Expect(Read(*dialog), {"7.6", VersionFolder(), true, 7, 7, 16, false}, "downloaded");

        // Meanwhile the server has published 7.7, of nine parts of 32 KiB.
        PublishPackage(m_serverRoot.Path(), kPackageMain, "7.7", 32768, 8 * 32768 + 5, 8);
        Click(*dialog, IDC_CLEANUP);
        EXPECT_TRUE(m_messages.Texts().empty());
        Expect(Read(*dialog), {"7.7", m_packageFolder / "7.7", false, 10, 0, 32, false},
               "after Cleanup");
    });
}

// The real boxes, answered as a user would.
class RealBoxTest : public WindowStateTest {
  protected:
    RealBoxTest() {
        m_recorder = SetMessageBoxHandler({});
        InstallMessageBoxes();
    }
    ~RealBoxTest() override { SetMessageBoxHandler(m_recorder); }

    // Answers every box in front of `window` with OK, noting what it saw,
    // for as long as the timer it returns lives (no longer than `window`).
    [[nodiscard]] std::unique_ptr<RepeatingTimer> AnswerBoxes(const Dialog& window) {
        auto answering = std::make_unique<RepeatingTimer>([this, &window] {
            if (std::optional<SeenBox> seen = AnswerBoxInFront(window)) {
                m_boxes.push_back(*seen);
            }
        });
        answering->Start(10);
        return answering;
    }

    MessageBoxHandler m_recorder;
    std::vector<SeenBox> m_boxes;
};

TEST_F(RealBoxTest, ABoxFromTheWorkerBringsTheMinimisedWindowUpAndIsOwnedByIt) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(1), Fault{.status = 404});
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        dialog->Minimize();
        const auto answering = AnswerBoxes(*dialog);
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_boxes.empty(); }, "the worker's box"));
        EXPECT_EQ(m_boxes[0].text, "Failed to connect to the server. Please try later");
        EXPECT_EQ(m_boxes[0].caption, "Velmora Quindle");
        EXPECT_TRUE(m_boxes[0].ownedByWindow);
        EXPECT_FALSE(m_boxes[0].ownerMinimised) << "the box is not left alone";
    });
}

TEST_F(RealBoxTest, NoWaitCursorStaysOverABox) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        const auto answering = AnswerBoxes(*dialog);
        m_server.SetFault("/download/quindle7/pkgindex.txt", Fault{.status = 503});
        Click(*dialog, IDC_CLEANUP);  // its preparation fails with a box
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_FALSE(m_boxes[0].waitCursor);
        EXPECT_TRUE(m_boxes[0].ownedByWindow);
        EXPECT_FALSE(WaitCursorShown()) << "and none is left afterwards";
    });
}

}  // namespace
