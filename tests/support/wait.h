#pragma once

#include <chrono>
#include <functional>
#include <string>

// Polls `done` until it holds or `limit` has passed; in between runs
// `between` (a GUI test lets its event loop run there) or sleeps briefly. On
// time-out it fails the running test, naming what it waited for, and
// returns false: a guard against a hang, not a measurement.
bool WaitFor(const std::function<bool()>& done, const std::string& what,
             std::chrono::milliseconds limit = std::chrono::minutes(2),
             const std::function<void()>& between = {},
             std::chrono::microseconds interval = std::chrono::milliseconds(1));
