#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "framework/resource_ids.h"
#include "gui_helpers.h"
#include "support/temp_dir.h"
#include "ui/folder_dialog.h"
#include "ui/proxy_dialog.h"
#include "widgets/qt/dialog_window.h"

namespace {

// The folder chooser is Qt's own dialog, not one of ours: found as Qt's
// next modal window.
template <typename T>
void OnNextQtModal(const std::function<void(T&)>& script) {
    RunLater(1, [script] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the expected dialog did not open";
        script(*dialog);
    });
}

using namespace res;

TEST(ProxyDialogTest, APortThatIsNoNumberKeepsTheDialogOpen) {
    for (const char* port : {"abc", "", "-5"}) {
        for (const char* host : {"proxy1", ""}) {
            MessageRecorder messages;
            ProxyDialog dialog;
            RunModal(dialog, [&] {
                dialog.SetDlgItemText(IDC_PROXY_HOST, host);
                dialog.SetDlgItemText(IDC_PROXY_PORT, port);
                Click(dialog, IDOK);
                EXPECT_TRUE(dialog.IsOpen()) << port;
                EXPECT_EQ(messages.Texts(),
                          std::vector<std::string>{"Please enter a positive integer."});
                auto* edit = qobject_cast<QLineEdit*>(ControlWidget(dialog, IDC_PROXY_PORT));
                EXPECT_EQ(edit->selectedText(), edit->text()) << "the port field is selected";

                dialog.SetDlgItemText(IDC_PROXY_PORT, "8080x");
                Click(dialog, IDOK);
            });
            EXPECT_EQ(WindowOf(dialog).result(), IDOK) << "80x reads as 80";
            EXPECT_EQ(dialog.m_nProxyPort, 8080u);
            EXPECT_EQ(dialog.m_strProxyHost, host);
        }
    }
}

class FolderDialogTest : public testing::Test {
  protected:
    TempDir m_home;
    ScopedHome m_scopedHome{m_home.Path()};
};

TEST_F(FolderDialogTest, OkAtOnceTakesTheDefaultFolder) {
    FolderDialog dialog;
    const int result = RunModal(dialog, [&] {
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), m_home / "VelmoraDownload");
        EXPECT_FALSE(ControlWidget(dialog, IDC_FOLDER)->isEnabled())
            << "the folder cannot be typed";
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_strFolder, m_home / "VelmoraDownload");
}

TEST_F(FolderDialogTest, TheChooserReplacesTheFolderAndCancellingItChangesNothing) {
    TempDir picked;
    FolderDialog dialog;
    const int result = RunModal(dialog, [&] {
        OnNextQtModal<QFileDialog>([this](QFileDialog& chooser) {
            EXPECT_EQ(chooser.windowTitle().toStdString(), "Select package directory");
            EXPECT_EQ(chooser.directory().absolutePath().toStdString(), m_home.Path())
                << "the chooser opens in the user's home folder";
            QTest::keyClick(&chooser, Qt::Key_Escape);
        });
        Click(dialog, IDC_CHOOSE_FOLDER);
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), m_home / "VelmoraDownload");

        OnNextQtModal<QFileDialog>([&](QFileDialog& chooser) {
            // Typed into the chooser's name field and confirmed with Enter.
            chooser.setDirectory(QString::fromStdString(picked.Path()));
            auto* name = chooser.findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(picked.Path()));
            QTest::keyClick(name, Qt::Key_Return);
        });
        Click(dialog, IDC_CHOOSE_FOLDER);
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), picked.Path());
        // Escape keeps the folder picked last.
        QTest::keyClick(&WindowOf(dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.m_strFolder, picked.Path());
}

TEST_F(FolderDialogTest, AnEmptyFolderIsRefused) {
    MessageRecorder messages;
    FolderDialog dialog;
    dialog.m_strFolder.clear();
    RunModal(dialog, [&] {
        Click(dialog, IDOK);
        EXPECT_TRUE(dialog.IsOpen());
        EXPECT_EQ(messages.Texts(),
                  std::vector<std::string>{"You must select your package directory"});
    });
}

}  // namespace
