#pragma once

#include <functional>
#include <memory>

// Calls from other threads (the worker) into the user-interface thread. They
// run there one after the other in the order they were made, whether the
// caller waits for its call or not. On the user-interface thread itself a
// call runs at once.

// Runs `call` there and returns once it has run. Returns false, without
// running it, when the calls are closed (also while it waited).
bool RunOnUiThread(const std::function<void()>& call);

// Queues `call` and returns at once; dropped when the calls are closed.
void PostToUiThread(std::function<void()> call);

// Once the window they change is ending: calls waiting to run are dropped
// (their callers return), and later ones return at once without running.
// Atomic with respect to them: a call is either run to its end or not at
// all.
void CloseUiThreadCalls();
void OpenUiThreadCalls();

bool IsUiThread();

// Runs `call` on the user-interface thread after `ms` milliseconds, from the
// event loop (never inside the caller).
void RunLater(int ms, std::function<void()> call);

// Calls its handler on the user-interface thread every interval while
// started; stops when it goes.
class RepeatingTimer {
  public:
    explicit RepeatingTimer(std::function<void()> onTick);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    void Start(int intervalMs);
    void Stop();
    bool IsActive() const;

  private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
