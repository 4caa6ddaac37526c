// The main window's system menu on Win32: the system's own menu with the
// program's entries appended, their check marks following the package, and
// a command chosen while the menu is open run once it has closed.

#include <windows.h>

#include "main_dialog_fixture.h"
#include "ui/speed_limit_dialog.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/dialog_window.h"

namespace {

using namespace res;

using WindowMenuWin32Test = MainDialogTest;

struct MenuItem {
    std::string text;  // "-" for a separator
    UINT id;
    bool checked;
    bool operator==(const MenuItem&) const = default;
};

void PrintTo(const MenuItem& item, std::ostream* out) {
    *out << "{" << item.text << ", " << item.id << (item.checked ? ", checked}" : "}");
}

// The items as the system menu holds them, from the first the program
// appended (after the system's own) to the end.
std::vector<MenuItem> AppendedItems(HWND window) {
    const HMENU menu = GetSystemMenu(window, FALSE);
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 128;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            continue;
        }
        items.push_back({(info.fType & MFT_SEPARATOR) != 0 ? "-" : dialog_win32::Utf8FromWide(text),
                         info.wID, (info.fState & MFS_CHECKED) != 0});
    }
    // The system's own entries carry system command IDs (SC_...).
    std::size_t first = items.size();
    while (first > 0 && items[first - 1].id < 0xF000) {
        --first;
    }
    return {items.begin() + static_cast<std::ptrdiff_t>(first), items.end()};
}

std::vector<MenuItem> Expected(int checked, bool limited = false) {
    return {{"-", 0, false},
            {"Download Velmora Main Package", IDM_PACKAGE_MAIN, checked == IDM_PACKAGE_MAIN},
            {"Download Velmora TTS Tobrin", IDM_PACKAGE_TOBRIN, checked == IDM_PACKAGE_TOBRIN},
            {"Download Velmora TTS Vessa", IDM_PACKAGE_VESSA, checked == IDM_PACKAGE_VESSA},
            {"-", 0, false},
            {"&Limit Download Speed...", IDM_SPEED_LIMIT, limited},
            {"&About Velmora Quindle and Install", IDM_ABOUTBOX, false}};
}

// The system's menu window, while one is open.
bool MenuIsOpen() {
    return FindWindowW(L"#32768", nullptr) != nullptr &&
           IsWindowVisible(FindWindowW(L"#32768", nullptr));
}

TEST_F(WindowMenuWin32Test, ThePackageEntriesFollowThePackageInTheSystemMenu) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        const HWND window = dialog->Window().Handle();
        EXPECT_EQ(AppendedItems(window), Expected(IDM_PACKAGE_MAIN));
        ChooseMenuEntry(*dialog, IDM_PACKAGE_VESSA);  // not published: its preparation fails
        EXPECT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_EQ(AppendedItems(window), Expected(IDM_PACKAGE_VESSA)) << "one entry checked";
        EXPECT_EQ(dialog->GetDlgItemText(IDC_PACKAGE_GROUP), "Download Text-to-Speech Vessa");
    });
}

TEST_F(WindowMenuWin32Test, TheSpeedLimitEntryIsCheckedWhileALimitIsSet) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        const HWND window = dialog->Window().Handle();
        for (const char* typed : {"64", "0"}) {
            OnNextModal<SpeedLimitDialog>([typed](SpeedLimitDialog& box) {
                box.SetDlgItemText(IDC_SPEED_LIMIT, typed);
                Click(box, IDOK);
            });
            ChooseMenuEntry(*dialog, IDM_SPEED_LIMIT);
            EXPECT_EQ(AppendedItems(window), Expected(IDM_PACKAGE_MAIN, typed[0] != '0')) << typed;
        }
    });
}

TEST_F(WindowMenuWin32Test, AnEntryChosenWhileTheMenuIsOpenRunsOnceItHasClosed) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        // The menu runs a loop of its own: it is driven from a timer there.
        bool sawMenu = false;
        RepeatingTimer choose([&] {
            if (!sawMenu && MenuIsOpen()) {
                sawMenu = true;
                dialog->ChooseWindowMenuEntry(IDM_PACKAGE_TOBRIN);
            }
        });
        choose.Start(10);
        ASSERT_TRUE(dialog->OpenWindowMenu());
        ASSERT_TRUE(WaitUntil([&] { return sawMenu && !MenuIsOpen(); }, "the menu to close"));
        choose.Stop();
        ASSERT_TRUE(WaitUntil(
            [&] {
                return dialog->GetDlgItemText(IDC_PACKAGE_GROUP) ==
                       "Download Text-to-Speech Tobrin";
            },
            "the package chosen in the menu"));
        EXPECT_EQ(AppendedItems(dialog->Window().Handle()), Expected(IDM_PACKAGE_TOBRIN));
    });
}

}  // namespace
