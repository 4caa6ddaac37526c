#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include "widgets/ui_thread.h"
#include "widgets/ui_thread_platform.h"

void WakeUiThread(void (*run)()) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), run, Qt::QueuedConnection);
}

bool IsUiThread() {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void RunLater(int ms, std::function<void()> call) {
    QTimer::singleShot(ms, QCoreApplication::instance(), std::move(call));
}

struct RepeatingTimer::Platform {
    QTimer timer;
};

RepeatingTimer::RepeatingTimer(std::function<void()> onTick)
    : m_platform(std::make_unique<Platform>()) {
    QObject::connect(&m_platform->timer, &QTimer::timeout, std::move(onTick));
}

RepeatingTimer::~RepeatingTimer() = default;

void RepeatingTimer::Start(int intervalMs) {
    m_platform->timer.start(intervalMs);
}

void RepeatingTimer::Stop() {
    m_platform->timer.stop();
}

bool RepeatingTimer::IsActive() const {
    return m_platform->timer.isActive();
}
