#include <QApplication>

#include "app/download_app.h"
#include "framework/texts.h"
#include "widgets/qt_message_box.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(text::kAppTitle));
    InstallQtMessageBoxes();
    theApp.InitInstance(argc, argv);
    return 0;
}
