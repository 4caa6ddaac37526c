#include "window_driver.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include "ui_events.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/dialog_window.h"

namespace {

// The ID a message box gives its text.
constexpr int kBoxTextId = 0xFFFF;

HWND HandleOf(const Dialog& dialog) {
    return dialog.Window().Handle();
}

// Where the keyboard's input goes: the focused control, else the window.
HWND KeyTarget(const Dialog& dialog) {
    const HWND focus = GetFocus();
    const HWND window = HandleOf(dialog);
    return focus != nullptr && (focus == window || IsChild(window, focus)) ? focus : window;
}

void PostKey(HWND target, UINT down, UINT up, WPARAM key, LPARAM flags) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC))
                        << 16;
    PostMessageW(target, down, key, 1 | scan | flags);
    PostMessageW(target, up, key, 1 | scan | flags | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// A message box: a dialog box whose text has the box's own ID, exactly (the
// program's dialogs give their labels -1).
BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    const HWND text = GetDlgItem(window, kBoxTextId);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0 && text != nullptr &&
        GetWindowLongPtrW(text, GWLP_ID) == kBoxTextId) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void PressKey(Dialog& dialog, Key key) {
    const HWND target = KeyTarget(dialog);
    switch (key) {
        case Key::Escape:
            PostKey(target, WM_KEYDOWN, WM_KEYUP, VK_ESCAPE, 0);
            break;
        case Key::AltF4:
            // Bit 29: Alt is held.
            PostKey(target, WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F4, LPARAM{1} << 29);
            break;
    }
    ProcessUiEvents();
}

void ActivateWindow(Dialog& dialog) {
    SetForegroundWindow(HandleOf(dialog));
    SetActiveWindow(HandleOf(dialog));
}

bool HasWindowIcon(const Dialog& dialog) {
    return SendMessageW(HandleOf(dialog), WM_GETICON, ICON_BIG, 0) != 0 &&
           SendMessageW(HandleOf(dialog), WM_GETICON, ICON_SMALL, 0) != 0;
}

bool IsOwnedBy(const Dialog& owned, const Dialog& owner) {
    return HandleOf(owned) != nullptr && GetWindow(HandleOf(owned), GW_OWNER) == HandleOf(owner);
}

std::optional<SeenBox> AnswerBoxInFront(const Dialog& window) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) {
        return std::nullopt;
    }
    wchar_t text[2048] = L"";
    GetDlgItemTextW(box, kBoxTextId, text, 2048);
    const HWND owner = GetWindow(box, GW_OWNER);
    SeenBox seen{dialog_win32::WindowTextUtf8(box), dialog_win32::Utf8FromWide(text),
                 owner != nullptr && owner == HandleOf(window),
                 owner != nullptr && IsIconic(owner) != FALSE, WaitCursorShown()};
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return seen;
}

bool WaitCursorShown() {
    return GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
}

bool IsWholeTextSelected(const Dialog& dialog, int id) {
    const HWND edit = dialog.Window().Item(id);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return edit != nullptr && start == 0 && end == static_cast<DWORD>(GetWindowTextLengthW(edit));
}

namespace {

// The shell's chooser: a dialog box of the thread with a folder tree in it.
BOOL CALLBACK FindChooser(HWND window, LPARAM found) {
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0 &&
        FindWindowExW(window, nullptr, L"SysTreeView32", nullptr) != nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND ChooserWindow() {
    HWND chooser = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindChooser, reinterpret_cast<LPARAM>(&chooser));
    return chooser;
}

// The chooser's text above the tree, which the caller gives it.
constexpr int kChooserTitleId = 0x3742;

}  // namespace

std::optional<ShownChooser> ChooserInFront() {
    const HWND chooser = ChooserWindow();
    if (chooser == nullptr) {
        return std::nullopt;
    }
    return ShownChooser{dialog_win32::WindowTextUtf8(GetDlgItem(chooser, kChooserTitleId)),
                        std::nullopt};
}

void AnswerChooser(const std::string& folder) {
    const HWND chooser = ChooserWindow();
    if (chooser == nullptr) {
        return;
    }
    if (folder.empty()) {
        PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    const std::wstring wide = dialog_win32::WideFromUtf8(folder);
    SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
    PostMessageW(chooser, WM_COMMAND, IDOK, 0);
}
