#include <windows.h>

#include "widgets/win32/dialog_window.h"
#include "widgets/win32/main_window_win32.h"

namespace {

BOOL CALLBACK KeepFirstShown(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

bool TakesInput(HWND window) {
    return window != nullptr && IsWindowVisible(window) && IsWindowEnabled(window);
}

}  // namespace

HWND MainWindow() {
    const HWND window = DialogWindow::MainWindow();
    return window != nullptr && IsWindow(window) ? window : nullptr;
}

HWND OwnerWindow() {
    if (const HWND main = MainWindow()) {
        return main;
    }
    // A thread whose windows are not in the foreground has no active window.
    if (const HWND active = GetActiveWindow()) {
        return active;
    }
    HWND shown = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), KeepFirstShown, reinterpret_cast<LPARAM>(&shown));
    return shown;
}

HWND ModalOwnerWindow() {
    if (const DialogWindow* modal = DialogWindow::ActiveModal()) {
        if (TakesInput(modal->Handle())) {
            return modal->Handle();
        }
    }
    // Something not of the dialog layer stands in front (a box, the folder
    // chooser): the owner's last active popup is that window.
    const HWND owner = OwnerWindow();
    if (owner == nullptr) {
        return nullptr;
    }
    if (const HWND front = GetLastActivePopup(owner); TakesInput(front)) {
        return front;
    }
    return TakesInput(owner) ? owner : nullptr;
}

void BringUpMainWindow() {
    const HWND main = MainWindow();
    if (main == nullptr) {
        return;
    }
    if (IsIconic(main)) {
        ShowWindow(main, SW_RESTORE);
    }
    SetForegroundWindow(GetLastActivePopup(main));
}
