#pragma once

class QWidget;

// The program's main window while it exists: the owner of message boxes and
// of the small dialogs, which are centred on it.
void SetMainWindow(QWidget* window);
// The main window, or while there is none (start-up) the active window;
// may be null.
QWidget* OwnerWindow();
