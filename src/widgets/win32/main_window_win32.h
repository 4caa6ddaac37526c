#pragma once

#include <windows.h>

// Which window the boxes, the choosers and the notices belong to. The main
// window is the dialog window of the program's own window
// (DialogWindow::MainWindow).

// The main window, or null while there is none.
HWND MainWindow();
// The main window, or while there is none (start-up) this thread's active
// window, or else its first visible top-level window; may be null.
HWND OwnerWindow();
// What a box or a chooser is owned by: the dialog that runs modally in
// front, or the window in front of the owner window's stack of modal
// windows (a box owned by a window that a modal dialog has disabled would
// enable it again on closing), or the owner window itself; null when none
// takes input.
HWND ModalOwnerWindow();
// Restores the main window when minimised and brings it to the front.
void BringUpMainWindow();
