#pragma once

// Runs what is queued for the user-interface thread (events, posted calls)
// and returns: for tests that drive a window from outside its event loop.
// The program itself never waits this way.
void ProcessUiEvents();
