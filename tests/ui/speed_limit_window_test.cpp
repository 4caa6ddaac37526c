// The speed limit as the user sets it: the window menu's entry, its dialog,
// the check mark, and the limit read back by the next start.

#include <gtest/gtest.h>

#include "catalogue/package_files.h"
#include "framework/text_mode.h"
#include "main_dialog_fixture.h"
#include "ui/speed_limit_dialog.h"
#include "window_driver.h"

namespace {

using namespace res;

class SpeedLimitWindowTest : public MainDialogTest {
  protected:
    std::string LimitFile() const { return m_packageFolder / kSpeedLimitFileName; }

    // Opens the dialog from the menu and answers it with `typed` and
    // `button`; `refusal` is the message a refused entry must bring, after
    // which the dialog is cancelled.
    void Answer(MainDialog& dialog, const std::string& typed, int button,
                const std::string& shownFirst, const char* refusal = nullptr) {
        OnNextModal<SpeedLimitDialog>(
            [&, typed, button, shownFirst, refusal](SpeedLimitDialog& box) {
                EXPECT_TRUE(IsOwnedBy(box, dialog)) << "owned by the main window";
                EXPECT_EQ(box.GetDlgItemText(IDC_SPEED_LIMIT), shownFirst);
                box.SetDlgItemText(IDC_SPEED_LIMIT, typed);
                m_messages.Clear();
                Click(box, button);
                if (refusal != nullptr) {
                    EXPECT_TRUE(box.IsOpen()) << typed;
                    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{refusal}) << typed;
                    EXPECT_TRUE(IsWholeTextSelected(box, IDC_SPEED_LIMIT)) << typed;
                    Click(box, IDCANCEL);
                }
            });
        ChooseMenuEntry(dialog, IDM_SPEED_LIMIT);
    }

    static bool Checked(MainDialog& dialog) {
        for (const auto& entry : dialog.GetSystemMenu()->Entries()) {
            if (entry.id == IDM_SPEED_LIMIT) {
                return entry.checked;
            }
        }
        ADD_FAILURE() << "no speed limit entry";
        return false;
    }
};

TEST_F(SpeedLimitWindowTest, TheDialogSetsTheLimitAndTheNextStartKeepsIt) {
    Publish();
    const char* refusal =
        "Please enter a speed from 1 to 1048576 KiB/s, or 0 or nothing for no limit.";
    {
        auto dialog = MakeDialog();
        RunModal(*dialog, [&] {
            EXPECT_FALSE(Checked(*dialog)) << "no limit until one is set";
            for (const char* typed : {"abc", "64k", "-5", "1.5", "1048577", "99999999999999"}) {
                Answer(*dialog, typed, IDOK, "", refusal);
                EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 0) << typed;
            }
            Answer(*dialog, "77", IDCANCEL, "");
            EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 0) << "Cancel changes nothing";
            EXPECT_FALSE(FileExists(LimitFile()));

            Answer(*dialog, " 64 ", IDOK, "");
            EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 64 * 1024);
            EXPECT_TRUE(Checked(*dialog));
            EXPECT_EQ(ReadFile(LimitFile()), std::string("64") + kLineEnd);
            Answer(*dialog, "5", IDCANCEL, "64");
            EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 64 * 1024) << "Cancel keeps it";
        });
    }
    {
        auto dialog = MakeDialog();
        RunModal(*dialog, [&] {
            EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 64 * 1024) << "read back";
            EXPECT_TRUE(Checked(*dialog));
            Answer(*dialog, "", IDOK, "64");
            EXPECT_EQ(dialog->m_download.m_nSpeedLimit.load(), 0);
            EXPECT_FALSE(Checked(*dialog));
            EXPECT_FALSE(FileExists(LimitFile())) << "no limit, no file";
        });
    }
    EXPECT_TRUE(m_messages.Texts().empty());
}

}  // namespace
