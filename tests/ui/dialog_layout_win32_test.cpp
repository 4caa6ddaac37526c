// The Win32 windows against the published layouts: each control of the
// system's own class and kind, where the dialog units of the dialog font put
// it, with its caption; the dialog font itself; the About box's picture.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <gtest/gtest.h>

#include "dialog_layouts.h"
#include "gui_helpers.h"
#include "support/temp_dir.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialog.h"
#include "ui/main_dialog.h"
#include "ui/proxy_dialog.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/dialog_window.h"

namespace {

using namespace layout;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

bool IsKind(HWND window, Kind kind) {
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR button = style & BS_TYPEMASK;
    const LONG_PTR picture = style & SS_TYPEMASK;
    switch (kind) {
        case Button:
            return ClassOf(window) == L"Button" && button == BS_PUSHBUTTON;
        case DefButton:
            return ClassOf(window) == L"Button" && button == BS_DEFPUSHBUTTON;
        case Group:
            return ClassOf(window) == L"Button" && button == BS_GROUPBOX;
        case Text:
            return ClassOf(window) == L"Static" && picture != SS_BITMAP && picture != SS_ICON;
        case Picture:
            return ClassOf(window) == L"Static" && picture == SS_BITMAP &&
                   SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        case Progress:
            return ClassOf(window) == PROGRESS_CLASSW;
        case Edit:
            return ClassOf(window) == L"Edit";
    }
    return false;
}

// The rectangle in the dialog's client area that dialog units give, as the
// dialog manager places a control: its corner and its size each scaled by
// the dialog font's base units.
RECT ExpectedRect(HWND dialog, int x, int y, int cx, int cy) {
    RECT base{0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    const int left = MulDiv(x, base.right, 4);
    const int top = MulDiv(y, base.bottom, 8);
    return {left, top, left + MulDiv(cx, base.right, 4), top + MulDiv(cy, base.bottom, 8)};
}

RECT RectInParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

void ExpectClientSize(HWND hwnd, int cx, int cy, const std::string& what) {
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(Describe(client), Describe(ExpectedRect(hwnd, 0, 0, cx, cy))) << what;
}

void CheckLayout(Dialog& dialog, const std::string& title, int cx, int cy,
                 const std::vector<Expected>& layout) {
    const HWND hwnd = dialog.Window().Handle();
    EXPECT_EQ(dialog_win32::WindowTextUtf8(hwnd), title);
    ExpectClientSize(hwnd, cx, cy, title);
    const std::vector<HWND> controls = dialog.Window().Controls();
    ASSERT_EQ(controls.size(), layout.size()) << title;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const Expected& expected = layout[i];
        const HWND control = controls[i];
        SCOPED_TRACE(title + ", control " + std::to_string(i) + " (" + std::to_string(expected.id) +
                     ")");
        ASSERT_NE(control, nullptr);
        if (expected.id != -1) {
            EXPECT_EQ(GetDlgItem(hwnd, expected.id), control);
        }
        EXPECT_TRUE(IsKind(control, expected.kind));
        if (expected.kind != Picture && expected.kind != Progress && expected.kind != Edit) {
            EXPECT_EQ(dialog_win32::WindowTextUtf8(control), expected.caption);
        }
        EXPECT_EQ(Describe(RectInParent(control)),
                  Describe(ExpectedRect(hwnd, expected.x, expected.y, expected.cx, expected.cy)));
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, expected.enabled);
    }
}

TEST(DialogLayoutWin32Test, MainDialogFollowsItsTemplate) {
    TempDir folder;
    MessageRecorder messages;  // the preparation finds no server here
    MainDialog dialog;
    dialog.m_download.m_strProgramPath = folder / "VELMORA_QUINDLE_7";
    dialog.m_download.SetProxy("127.0.0.1:9");
    RunModal(dialog, [&] {
        CheckLayout(dialog, "Velmora Software Quindle", 291, 277, MainLayoutWithoutServer());
        const HWND hwnd = dialog.Window().Handle();
        EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_SYSMENU, 0) << "a window menu";
        EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0) << "on the taskbar";
    });
}

TEST(DialogLayoutWin32Test, FolderAndProxyDialogsFollowTheirTemplates) {
    FolderDialog folder;
    RunModal(folder, [&] {
        auto layout = kFolderLayout;
        layout[2].caption = folder.m_strFolder;
        CheckLayout(folder, "Package Download Folder", 316, 77, layout);
        EXPECT_EQ(dialog_win32::WindowTextUtf8(GetDlgItem(folder.Window().Handle(), 1008)),
                  folder.m_strFolder);
        EXPECT_EQ(GetWindowLongPtrW(folder.Window().Handle(), GWL_STYLE) & WS_SYSMENU, 0)
            << "no window menu, no close box";
    });
    ProxyDialog proxy;
    RunModal(proxy, [&] {
        CheckLayout(proxy, "Set Http Proxy Server", 227, 173, kProxyLayout);
        EXPECT_EQ(dialog_win32::WindowTextUtf8(GetDlgItem(proxy.Window().Handle(), 1012)), "0");
    });
}

TEST(DialogLayoutWin32Test, TheDialogsUseTheSystemsDialogFontAtEightPoints) {
    ProxyDialog proxy;
    RunModal(proxy, [&] {
        const HWND hwnd = proxy.Window().Handle();
        const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW logical{};
        ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
        const HDC screen = GetDC(hwnd);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(hwnd, screen);
        EXPECT_EQ(logical.lfHeight, -MulDiv(8, dpi, 72)) << "8 points";
        // The controls carry the dialog's font, not the system's default.
        EXPECT_EQ(SendMessageW(GetDlgItem(hwnd, IDOK), WM_GETFONT, 0, 0),
                  reinterpret_cast<LRESULT>(font));
    });
}

TEST(DialogLayoutWin32Test, AboutBoxShowsTheProgramAndItsVersion) {
    AboutDialog about;
    RunModal(about, [&] {
        const HWND hwnd = about.Window().Handle();
        ExpectClientSize(hwnd, 235, 55, "About");
        const std::vector<HWND> controls = about.Window().Controls();
        ASSERT_GE(controls.size(), 2u);
        EXPECT_EQ(dialog_win32::WindowTextUtf8(controls[1]), "Velmora Quindle Version 1.0");
        EXPECT_NE(SendMessageW(controls[0], STM_GETICON, 0, 0), 0) << "icon 128";
        Click(about, IDOK);
    });
}

}  // namespace
