#include "widgets/ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool IsUiThread() {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void RunOnUiThread(const std::function<void()>& call) {
    if (IsUiThread()) {
        call();
        return;
    }
    // The user-interface thread carries it out from its event loop, also
    // while it waits for the worker at the end of the dialog.
    QMetaObject::invokeMethod(QCoreApplication::instance(), call, Qt::BlockingQueuedConnection);
}
