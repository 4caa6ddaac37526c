#pragma once

#include <functional>

// Runs `call` on the user-interface thread and returns once it has run there,
// as a synchronous window message would. On that thread it runs at once.
void RunOnUiThread(const std::function<void()>& call);

bool IsUiThread();
