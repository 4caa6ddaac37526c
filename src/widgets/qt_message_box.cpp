#include "widgets/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "framework/message_box.h"
#include "framework/texts.h"
#include "widgets/ui_thread.h"

void InstallQtMessageBoxes() {
    SetMessageBoxHandler([](const std::string& message) {
        RunOnUiThread([&] {
            QMessageBox box(
                QMessageBox::NoIcon, QString::fromUtf8(text::kAppTitle),
                QString::fromLocal8Bit(message.data(), static_cast<qsizetype>(message.size())),
                QMessageBox::Ok, QApplication::activeWindow());
            box.exec();
        });
    });
}
