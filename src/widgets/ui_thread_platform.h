#pragma once

// What the queue of calls into the user-interface thread needs of the
// platform: widgets/qt/ui_thread_qt.cpp here.

// Has `run` called on the user-interface thread from its event loop soon;
// safe from any thread.
void WakeUiThread(void (*run)());
