#include "widgets/ui_thread.h"

#include "widgets/ui_thread_platform.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

struct PendingCall {
    std::function<void()> posted;                    // a call nobody waits for
    const std::function<void()>* awaited = nullptr;  // a call its caller waits for
    bool finished = false;                           // run, or dropped
    bool ran = false;
};

std::mutex g_mutex;
std::condition_variable g_finished;
std::deque<std::shared_ptr<PendingCall>> g_pending;
bool g_closed = false;

void RunPendingCalls() {
    for (;;) {
        std::shared_ptr<PendingCall> next;
        {
            std::lock_guard lock(g_mutex);
            if (g_pending.empty()) {
                return;
            }
            next = g_pending.front();
            g_pending.pop_front();
        }
        // Closing happens on this thread too, so it cannot begin while a
        // call runs here.
        if (next->awaited != nullptr) {
            (*next->awaited)();
        } else {
            next->posted();
        }
        {
            std::lock_guard lock(g_mutex);
            next->finished = true;
            next->ran = true;
        }
        g_finished.notify_all();
    }
}

// Queues the call; false when the calls are closed.
bool Enqueue(const std::shared_ptr<PendingCall>& call) {
    {
        std::lock_guard lock(g_mutex);
        if (g_closed) {
            return false;
        }
        g_pending.push_back(call);
    }
    WakeUiThread(RunPendingCalls);
    return true;
}

}  // namespace

bool RunOnUiThread(const std::function<void()>& call) {
    if (IsUiThread()) {
        call();
        return true;
    }
    auto pending = std::make_shared<PendingCall>();
    pending->awaited = &call;
    if (!Enqueue(pending)) {
        return false;
    }
    std::unique_lock lock(g_mutex);
    g_finished.wait(lock, [&] { return pending->finished; });
    return pending->ran;
}

void PostToUiThread(std::function<void()> call) {
    if (IsUiThread()) {
        call();
        return;
    }
    auto pending = std::make_shared<PendingCall>();
    pending->posted = std::move(call);
    Enqueue(pending);
}

void CloseUiThreadCalls() {
    {
        std::lock_guard lock(g_mutex);
        g_closed = true;
        for (const auto& call : g_pending) {
            call->finished = true;
        }
        g_pending.clear();
    }
    g_finished.notify_all();
}

void OpenUiThreadCalls() {
    std::lock_guard lock(g_mutex);
    g_closed = false;
}
