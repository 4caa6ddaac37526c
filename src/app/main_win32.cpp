#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line_answer.h"
#include "app/download_app.h"
#include "framework/message_box.h"
#include "widgets/message_boxes.h"
#include "widgets/win32/com_apartment_win32.h"
#include "widgets/win32/controls_win32.h"

// The command line arrives in UTF-16 (-municode), whatever the code page,
// and is handed on in UTF-8 as everything inside the program is.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(dialog_win32::Utf8FromWide(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    // Shell links and the folder chooser are COM objects of this thread.
    const ComApartment com;
    InstallMessageBoxes();
    const CommandLineAnswer answer = AnswerCommandLine(argc, pointers.data());
    if (WriteCommandLineAnswer(answer)) {
        // A program of the GUI subsystem started from a console gets no
        // standard output unless it was redirected: the answer goes into a
        // box then.
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output == nullptr || output == INVALID_HANDLE_VALUE) {
            ShowMessageBox(answer.output);
            return 0;
        }
        return AnsweredExitStatus();
    }
    theApp.InitInstance(argc, pointers.data());
    return 0;
}
