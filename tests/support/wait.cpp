#include "support/wait.h"

#include <gtest/gtest.h>

#include <thread>

bool WaitFor(const std::function<bool()>& done, const std::string& what,
             std::chrono::milliseconds limit, const std::function<void()>& between,
             std::chrono::microseconds interval) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "gave up waiting after " << limit.count() << " ms for " << what;
            return false;
        }
        if (between) {
            between();
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}
