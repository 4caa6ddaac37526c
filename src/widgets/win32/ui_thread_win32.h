#pragma once

// Makes the calling thread the user-interface thread and creates the hidden
// window that carries calls and timers to it; once, later calls change
// nothing. The entry point calls it (InstallMessageBoxes does) before any
// window opens; RunLater and RepeatingTimer bind the thread they are first
// used on. Until then every thread counts as the user-interface thread, as
// with no application at all: calls run where they are made. False when the
// hidden window cannot be made.
bool BindUiThread();
