// The overall bar's tooltip on Win32, as the tooltip control holds it: what
// is done, how fast and how long is left, kept current while it shows, in
// plain text.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "main_dialog_fixture.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/dialog_window.h"

namespace {

using namespace res;

using ToolTipWin32Test = MainDialogTest;

// The text the dialog's tooltip control shows for the control.
std::string ShownToolTip(MainDialog& dialog, int id) {
    const HWND tips = dialog.Window().ToolTipWindow();
    if (tips == nullptr) {
        return {};
    }
    wchar_t text[1024] = L"";
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = dialog.Window().Handle();
    info.uId = reinterpret_cast<UINT_PTR>(dialog.Window().Item(id));
    info.lpszText = text;
    SendMessageW(tips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&info));
    return dialog_win32::Utf8FromWide(text);
}

TEST_F(ToolTipWin32Test, TheOverallBarTellsWhatIsDoneHowFastAndHowLongItHasLeft) {
    Publish(kPackageMain, 8, 65536);
    m_server.SetRateLimit(65536);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return ShownToolTip(*dialog, IDC_PROGRESS_OVERALL).find("KiB/s") !=
                       std::string::npos;
            },
            "a rate in the bar's tooltip"));
        const std::string tip = ShownToolTip(*dialog, IDC_PROGRESS_OVERALL);
        // The last part counts as a whole one until it is there.
        EXPECT_NE(tip.find(" of 512 KiB, "), std::string::npos) << tip;
        EXPECT_NE(tip.find(" left"), std::string::npos) << tip;
        // Kept current: what the control shows follows the dialog's text.
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::string now = ShownToolTip(*dialog, IDC_PROGRESS_OVERALL);
                return now != tip && now == dialog->GetItemToolTip(IDC_PROGRESS_OVERALL);
            },
            "the tooltip to follow the download"));
        // No "&" in it is taken for a mnemonic: the control shows it.
        const LONG_PTR style = GetWindowLongPtrW(dialog->Window().ToolTipWindow(), GWL_STYLE);
        EXPECT_NE(style & TTS_NOPREFIX, 0);
        Click(*dialog, IDOK);
    });
}

}  // namespace
