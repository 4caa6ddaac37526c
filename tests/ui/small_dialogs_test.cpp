#include <gtest/gtest.h>

#include "framework/resource_ids.h"
#include "gui_helpers.h"
#include "support/temp_dir.h"
#include "ui/folder_dialog.h"
#include "ui/proxy_dialog.h"
#include "window_driver.h"

namespace {

// The folder chooser is the system's own dialog, not one of ours: found as
// the next one in front, once it stands there (the system's may take a
// while to fill its folder tree).
void OnNextChooser(const std::function<void(const ShownChooser&)>& script, int triesLeft = 1000) {
    RunLater(10, [script, triesLeft] {
        const std::optional<ShownChooser> chooser = ChooserInFront();
        if (!chooser && triesLeft > 0) {
            OnNextChooser(script, triesLeft - 1);
            return;
        }
        ASSERT_TRUE(chooser.has_value()) << "the folder chooser did not open";
        script(*chooser);
    });
}

using namespace res;

TEST(ProxyDialogTest, APortThatIsNoNumberKeepsTheDialogOpen) {
    for (const char* port : {"abc", "", "-5"}) {
        for (const char* host : {"proxy1", ""}) {
            MessageRecorder messages;
            ProxyDialog dialog;
            const int result = RunModal(dialog, [&] {
                dialog.SetDlgItemText(IDC_PROXY_HOST, host);
                dialog.SetDlgItemText(IDC_PROXY_PORT, port);
                Click(dialog, IDOK);
                EXPECT_TRUE(dialog.IsOpen()) << port;
                EXPECT_EQ(messages.Texts(),
                          std::vector<std::string>{"Please enter a positive integer."});
                EXPECT_TRUE(IsWholeTextSelected(dialog, IDC_PROXY_PORT))
                    << "the port field is selected";

                dialog.SetDlgItemText(IDC_PROXY_PORT, "8080x");
                Click(dialog, IDOK);
            });
            EXPECT_EQ(result, IDOK) << "80x reads as 80";
            EXPECT_EQ(dialog.m_nProxyPort, 8080u);
            EXPECT_EQ(dialog.m_strProxyHost, host);
        }
    }
}

class FolderDialogTest : public testing::Test {
  protected:
    // The folder offered first: in the home folder, on Windows on the
    // system drive (which the scoped home also moves).
    std::string DefaultFolder() const { return m_home / "VelmoraDownload"; }

    TempDir m_home;
    ScopedHome m_scopedHome{m_home.Path()};
};

TEST_F(FolderDialogTest, OkAtOnceTakesTheDefaultFolder) {
    FolderDialog dialog;
    const int result = RunModal(dialog, [&] {
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), DefaultFolder());
        EXPECT_FALSE(dialog.IsItemEnabled(IDC_FOLDER)) << "the folder cannot be typed";
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_strFolder, DefaultFolder());
}

TEST_F(FolderDialogTest, TheChooserReplacesTheFolderAndCancellingItChangesNothing) {
    TempDir picked;
    FolderDialog dialog;
    const int result = RunModal(dialog, [&] {
        OnNextChooser([this](const ShownChooser& chooser) {
            EXPECT_EQ(chooser.title, "Select package directory");
            if (chooser.folder) {
                EXPECT_EQ(*chooser.folder, m_home.Path())
                    << "the chooser opens in the user's home folder";
            }
            AnswerChooser("");
        });
        Click(dialog, IDC_CHOOSE_FOLDER);
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), DefaultFolder());

        OnNextChooser([&](const ShownChooser&) { AnswerChooser(picked.Path()); });
        Click(dialog, IDC_CHOOSE_FOLDER);
        EXPECT_EQ(dialog.GetDlgItemText(IDC_FOLDER), picked.Path());
        // Escape keeps the folder picked last.
        PressKey(dialog, Key::Escape);
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
