#include <QApplication>

#include "app/command_line_answer.h"
#include "app/download_app.h"
#include "framework/texts.h"
#include "widgets/message_boxes.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, which needs a display: the help and the
    // version work in any terminal.
    if (WriteCommandLineAnswer(AnswerCommandLine(argc, argv))) {
        return AnsweredExitStatus();
    }
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
