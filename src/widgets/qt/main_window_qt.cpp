#include "widgets/qt/main_window.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget> g_mainWindow;

}  // namespace

void SetMainWindow(QWidget* window) {
    g_mainWindow = window;
}

QWidget* OwnerWindow() {
    return g_mainWindow != nullptr ? g_mainWindow.data() : QApplication::activeWindow();
}
