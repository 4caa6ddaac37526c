#include <windows.h>

#include <string>
#include <vector>

#include "app/download_app.h"
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
    theApp.InitInstance(argc, pointers.data());
    return 0;
}
