// What the window shows after each kind of preparation, how it reads to
// assistive technology and from the keyboard, and how its message boxes
// relate to it.

#include <QAccessible>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <QAction>
#include <QMenu>

#include "main_dialog_fixture.h"
#include "widgets/qt/dialog_window.h"

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

TEST_F(WindowStateTest, TheValueLabelsReadAsWhatTheyShow) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        const std::pair<int, std::string> values[] = {{IDC_VERSION_FOLDER, VersionFolder()},
                                                      {IDC_VERSION, "7.6"}};
        const std::pair<int, std::string> descriptions[] = {
            {IDC_VERSION_FOLDER, "Package download folder"},
            {IDC_VERSION, "Velmora Product Version"}};
        for (std::size_t i = 0; i < 2; ++i) {
            const auto& [id, value] = values[i];
            QAccessibleInterface* label =
                QAccessible::queryAccessibleInterface(ControlWidget(*dialog, id));
            ASSERT_NE(label, nullptr) << id;
            EXPECT_EQ(label->text(QAccessible::Name).toStdString(), value) << id;
            EXPECT_EQ(label->text(QAccessible::Description).toStdString(), descriptions[i].second);
            QAccessibleTextInterface* text = label->textInterface();
            ASSERT_NE(text, nullptr) << id << ": no text interface";
            EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), value) << id;
        }
    });
}

TEST_F(WindowStateTest, ThePackageEntriesAreAChoiceAndTheMenuOpensFromTheKeyboard) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        WindowOf(*dialog).activateWindow();
        WaitUntil([&] { return dialog->IsActive(); }, "the window to be active");
        QTest::keyClick(&WindowOf(*dialog), Qt::Key_F10, Qt::ShiftModifier);
        QMenu* menu = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (QMenu* candidate : WindowOf(*dialog).findChildren<QMenu*>()) {
                    menu = candidate->isVisible() ? candidate : menu;
                }
                return menu != nullptr;
            },
            "the window menu to open on Shift+F10"));
        int packages = 0;
        for (QAction* action : menu->actions()) {
            if (PackageForMenuCommand(action->data().toInt()) != nullptr) {
                ++packages;
                EXPECT_TRUE(action->isCheckable()) << action->text().toStdString();
                EXPECT_EQ(action->isChecked(), action->data().toInt() == IDM_PACKAGE_MAIN);
            }
        }
        EXPECT_EQ(packages, 3);
        menu->close();
    });
}

// The real boxes, answered as a user would.
class RealBoxTest : public WindowStateTest {
  protected:
    RealBoxTest() {
        m_recorder = SetMessageBoxHandler({});
        InstallMessageBoxes();
    }
    ~RealBoxTest() override {
        delete m_timer;
        SetMessageBoxHandler(m_recorder);
    }

    // Answers every box with OK, noting what stood around it.
    void AnswerBoxes() {
        m_timer = new QTimer;
        QObject::connect(m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            m_owners.push_back(box->parentWidget());
            m_ownerMinimised.push_back(box->parentWidget() != nullptr &&
                                       box->parentWidget()->isMinimized());
            m_waitCursor.push_back(QApplication::overrideCursor() != nullptr);
            m_texts.push_back(box->text().toStdString());
            box->accept();
        });
        m_timer->start(10);
    }

    QTimer* m_timer = nullptr;
    MessageBoxHandler m_recorder;
    std::vector<QWidget*> m_owners;
    std::vector<bool> m_ownerMinimised;
    std::vector<bool> m_waitCursor;
    std::vector<std::string> m_texts;
};

TEST_F(RealBoxTest, ABoxFromTheWorkerBringsTheMinimisedWindowUpAndIsOwnedByIt) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(1), Fault{.status = 404});
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        dialog->Minimize();
        AnswerBoxes();
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_texts.empty(); }, "the worker's box"));
        EXPECT_EQ(m_texts[0], "Failed to connect to the server. Please try later");
        EXPECT_EQ(m_owners[0], &WindowOf(*dialog));
        EXPECT_FALSE(m_ownerMinimised[0]) << "the box is not left alone";
    });
}

TEST_F(RealBoxTest, NoWaitCursorStaysOverABox) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        AnswerBoxes();
        m_server.SetFault("/download/quindle7/pkgindex.txt", Fault{.status = 503});
        Click(*dialog, IDC_CLEANUP);  // its preparation fails with a box
        ASSERT_EQ(m_texts.size(), 1u);
        EXPECT_FALSE(m_waitCursor[0]);
        EXPECT_EQ(m_owners[0], &WindowOf(*dialog));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "and none is left afterwards";
    });
}

}  // namespace
