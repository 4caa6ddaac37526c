#include "window_driver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "widgets/qt/dialog_window.h"

void PressKey(Dialog& dialog, Key key) {
    switch (key) {
        case Key::Escape:
            QTest::keyClick(&WindowOf(dialog), Qt::Key_Escape);
            return;
        case Key::AltF4:
            QTest::keyClick(&WindowOf(dialog), Qt::Key_F4, Qt::AltModifier);
            return;
    }
}

void ActivateWindow(Dialog& dialog) {
    WindowOf(dialog).activateWindow();
}

bool HasWindowIcon(const Dialog& dialog) {
    return !WindowOf(dialog).windowIcon().isNull();
}

bool IsOwnedBy(const Dialog& owned, const Dialog& owner) {
    return WindowOf(owned).parentWidget() == &WindowOf(owner);
}

std::optional<SeenBox> AnswerBoxInFront(const Dialog& window) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
        return std::nullopt;
    }
    QWidget* owner = box->parentWidget();
    SeenBox seen{box->windowTitle().toStdString(), box->text().toStdString(),
                 owner == &WindowOf(window), owner != nullptr && owner->isMinimized(),
                 WaitCursorShown()};
    box->accept();
    return seen;
}

bool WaitCursorShown() {
    return QApplication::overrideCursor() != nullptr;
}

bool IsWholeTextSelected(const Dialog& dialog, int id) {
    auto* edit = qobject_cast<QLineEdit*>(ControlWidget(dialog, id));
    return edit != nullptr && edit->selectedText() == edit->text();
}

std::optional<ShownChooser> ChooserInFront() {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (chooser == nullptr) {
        return std::nullopt;
    }
    return ShownChooser{chooser->windowTitle().toStdString(),
                        chooser->directory().absolutePath().toStdString()};
}

void AnswerChooser(const std::string& folder) {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (chooser == nullptr) {
        return;
    }
    if (folder.empty()) {
        QTest::keyClick(chooser, Qt::Key_Escape);
        return;
    }
    // Typed into the chooser's name field and confirmed with Enter.
    chooser->setDirectory(QString::fromStdString(folder));
    auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
    if (name != nullptr) {
        name->setText(QString::fromStdString(folder));
        QTest::keyClick(name, Qt::Key_Return);
    }
}
