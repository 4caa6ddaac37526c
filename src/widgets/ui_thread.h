#pragma once

#include <functional>

// Runs `call` on the user-interface thread and returns once it has run there,
// as a synchronous window message would. On that thread it runs at once.
void RunOnUiThread(const std::function<void()>& call);

// Carries out the calls other threads are waiting for. The event loop does
// this by itself; code that keeps the user-interface thread busy while a
// worker may call in (waiting for the worker to end) calls it directly, so
// that it never depends on which events a nested event loop delivers.
void RunPendingUiCalls();

bool IsUiThread();
