#include "widgets/message_boxes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "framework/texts.h"
#include "widgets/qt/main_window.h"
#include "widgets/ui_thread.h"

namespace {

void ShowQtMessageBox(const std::string& message) {
    QWidget* owner = OwnerWindow();
    if (owner != nullptr && owner->isMinimized()) {
        owner->showNormal();
        owner->raise();
        owner->activateWindow();
        QApplication::alert(owner);
    }
    // A box waits for the user, not the other way round.
    int waitCursors = 0;
    for (; QApplication::overrideCursor() != nullptr; ++waitCursors) {
        QApplication::restoreOverrideCursor();
    }
    // A message may hold the server's words (a header value, an error
    // text): shown as they stand, never as markup, so nothing in them is a
    // link or an image. The format is set before the text: given the text
    // first, a box with Qt's guess (Qt::AutoText) would already read it as
    // markup and lay it out, loading what it names. (The format covers the
    // box's text only; an informative text would guess again.)
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(text::kAppTitle), QString(),
                    QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(box.textInteractionFlags() &
                                ~(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard));
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setOpenExternalLinks(false);
    }
    box.setText(QString::fromLocal8Bit(message.data(), static_cast<qsizetype>(message.size())));
    box.exec();
    for (int i = 0; i < waitCursors; ++i) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

}  // namespace

void InstallMessageBoxes() {
    SetMessageBoxHandler(ShownOnUiThread(ShowQtMessageBox));
    ReportInMessageBoxes();
}
