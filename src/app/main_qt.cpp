#include <QApplication>

#include "app/download_app.h"
#include "framework/texts.h"
#include "widgets/message_boxes.h"

int main(int argc, char** argv) {
    // The command line is ours, read as given: Qt sees none of it, so that
    // an argument such as "-style" takes nothing away from "-dir".
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QString::fromUtf8(text::kAppTitle));
    InstallMessageBoxes();
    theApp.InitInstance(argc, argv);
    return 0;
}
