#include "ui_events.h"

#include <QCoreApplication>

void ProcessUiEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
