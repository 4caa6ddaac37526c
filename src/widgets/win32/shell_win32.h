#pragma once

// The wait cursor's state, for the other Windows pieces (user-interface
// thread only).

// A box gives the wait cursor way while it is open: the ordinary pointer
// until ResumeWaitCursor with what this returned (how deep the waits were).
int PauseWaitCursor();
void ResumeWaitCursor(int depth);

// For a window's WM_SETCURSOR: while the program is busy, sets the wait
// cursor and returns true (the message is then handled).
bool SetBusyCursor();
