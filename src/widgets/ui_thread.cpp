#include "widgets/ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

struct PendingCall {
    const std::function<void()>* call;
    bool done = false;
};

std::mutex g_mutex;
std::condition_variable g_done;
std::deque<std::shared_ptr<PendingCall>> g_pending;

}  // namespace

bool IsUiThread() {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void RunPendingUiCalls() {
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
        (*next->call)();
        {
            std::lock_guard lock(g_mutex);
            next->done = true;
        }
        g_done.notify_all();
    }
}

void RunOnUiThread(const std::function<void()>& call) {
    if (IsUiThread()) {
        call();
        return;
    }
    auto pending = std::make_shared<PendingCall>(PendingCall{&call});
    {
        std::lock_guard lock(g_mutex);
        g_pending.push_back(pending);
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { RunPendingUiCalls(); }, Qt::QueuedConnection);
    std::unique_lock lock(g_mutex);
    g_done.wait(lock, [&] { return pending->done; });
}
