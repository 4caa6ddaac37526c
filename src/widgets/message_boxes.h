#pragma once

#include <functional>
#include <string>

#include "framework/message_box.h"

// A handler that runs `present` on the user-interface thread and returns
// once it has run; from another thread, nothing is shown once the calls to
// that thread are closed (the main window is ending).
MessageBoxHandler ShownOnUiThread(MessageBoxHandler present);

// Called on the user-interface thread just before a box that another thread
// (the worker) raises is shown: the download has stopped for good.
void SetWorkerBoxHook(std::function<void(const std::string& text)> hook);

// Makes what the layers below report (Report) show as a box like any other.
// InstallMessageBoxes does it.
void ReportInMessageBoxes();

// Makes ShowMessageBox show a real modal box through ShownOnUiThread:
// caption "Velmora Quindle", an OK button, owned by the main window and
// centred on it; its text is plain text, never read as markup or links. A
// window that is minimised comes up first, so that the box is not left
// alone; a wait cursor gives way while the box is open.
void InstallMessageBoxes();
