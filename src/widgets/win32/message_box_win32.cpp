#include <windows.h>

#include <algorithm>

#include "framework/texts.h"
#include "widgets/message_boxes.h"
#include "widgets/ui_thread.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/main_window_win32.h"
#include "widgets/win32/shell_win32.h"
#include "widgets/win32/ui_thread_win32.h"

using dialog_win32::WideFromUtf8;

namespace {

// MessageBoxW puts its box in the middle of the screen; it is moved onto
// its owner as it is activated, the first thing the box does.
struct Centring {
    HHOOK hook = nullptr;
    HWND owner = nullptr;
};
thread_local Centring t_centring;

void CentreOn(HWND box, HWND owner) {
    RECT ownerRect{};
    RECT boxRect{};
    if (IsIconic(owner) || !GetWindowRect(owner, &ownerRect) || !GetWindowRect(box, &boxRect)) {
        return;
    }
    const LONG width = boxRect.right - boxRect.left;
    const LONG height = boxRect.bottom - boxRect.top;
    LONG x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
    LONG y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
    // Kept whole on the owner's screen.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::max(work.left, std::min(x, work.right - width));
        y = std::max(work.top, std::min(y, work.bottom - height));
    }
    SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void StopCentring() {
    if (t_centring.hook != nullptr) {
        UnhookWindowsHookEx(t_centring.hook);
        t_centring.hook = nullptr;
    }
}

LRESULT CALLBACK CentreBoxOnOwner(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND activated = reinterpret_cast<HWND>(wParam);
        if (GetWindow(activated, GW_OWNER) == t_centring.owner) {
            CentreOn(activated, t_centring.owner);
            StopCentring();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void ShowWin32MessageBox(const std::string& message) {
    const HWND main = OwnerWindow();
    if (main != nullptr && IsIconic(main)) {
        ShowWindow(main, SW_RESTORE);
        SetForegroundWindow(main);
        // Windows may keep another program in front: the taskbar entry asks.
        FLASHWINFO flash{};
        flash.cbSize = sizeof flash;
        flash.hwnd = main;
        flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
        FlashWindowEx(&flash);
    }
    const HWND owner = ModalOwnerWindow();
    // A box waits for the user, not the other way round.
    const int waits = PauseWaitCursor();
    // Without an owner the box still keeps every window of the thread waiting.
    const UINT style = MB_OK | (owner == nullptr ? MB_TASKMODAL : 0u);
    if (owner != nullptr) {
        StopCentring();
        t_centring.owner = owner;
        t_centring.hook =
            SetWindowsHookExW(WH_CBT, CentreBoxOnOwner, nullptr, GetCurrentThreadId());
    }
    // The box's text is plain text: nothing in it is markup, a link or a
    // mnemonic.
    MessageBoxW(owner, WideFromUtf8(message).c_str(), WideFromUtf8(text::kAppTitle).c_str(), style);
    StopCentring();
    ResumeWaitCursor(waits);
}

}  // namespace

void InstallMessageBoxes() {
    // Installed on the user-interface thread at start-up: it becomes the
    // thread that boxes from the worker are carried to.
    BindUiThread();
    SetMessageBoxHandler(ShownOnUiThread(ShowWin32MessageBox));
    ReportInMessageBoxes();
}
