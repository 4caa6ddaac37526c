#include "app/command_line_answer.h"

#include <cstdio>
#include <utility>

#include "app/download_command_line_info.h"
#include "catalogue/package_table.h"
#include "framework/build_config.h"
#include "framework/texts.h"

namespace {

// As the user called it; the program's own name when the system gave none.
std::string CalledName(int argc, const char* const* argv) {
    std::string name = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    name.erase(0, name.find_last_of("/\\") + 1);
    return name.empty() ? PackageInfoFor(kPackageMain).programName : name;
}

std::string HelpText(const std::string& name) {
    return "Usage: " + name +
           " [-site HOST] [-dir FOLDER]\n"
           "Downloads a Velmora software package in numbered parts, resuming where it\n"
           "stopped, joins the parts into the installer velmora.exe and opens it.\n"
           "Started from the download folder, or as installed, it first asks for a\n"
           "package folder, copies itself there, leaves the launcher \"" +
           text::kShortcutName +
           "\" on\n"
           "the desktop and in the applications menu, and starts the copy.\n"
           "\n"
           "  -site HOST    download from HOST: " +
           config::kPrimaryDownloadHost + " or\n                " + config::kAlternateDownloadHost +
           "\n"
           "  -dir FOLDER   the folder on the host that holds the package\n"
           "  --help        show this help and exit\n"
           "  --version     show the version and exit\n"
           "\n"
           "\"/\" works as well as \"-\" (/site, /dir). A value must not begin with \"-\" or\n"
           "\"/\": -dir download/beta, not -dir /download/beta.\n";
}

}  // namespace

CommandLineAnswer AnswerCommandLine(int argc, const char* const* argv) {
    const std::string name = CalledName(argc, argv);
    CommandLineAnswer answer;
    const auto warn = [&](const std::string& what) {
        answer.warnings += name + ": " + what + "\n";
    };
    // Follows which option waits for its value, as the start-up will.
    DownloadCommandLineInfo info;
    std::string waiting;
    const auto lostValue = [&] {
        if (info.m_nPendingOption != -1) {
            warn("option \"" + waiting + "\" without a value ignored");
        }
    };
    const auto answerWith = [&](std::string output) {
        if (!answer.answered) {
            answer.output = std::move(output);
            answer.answered = true;
        }
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!IsOptionArgument(arg)) {
            if (info.m_nPendingOption == -1) {
                warn("argument \"" + arg + "\" ignored");
            }
            info.ParseParam(arg, false);
            continue;
        }
        const std::string option = arg.substr(1);
        if (option == "site" || option == "dir") {
            lostValue();
            waiting = arg;
        } else if (option == "-help" || option == "h" || option == "?") {
            answerWith(HelpText(name));
        } else if (option == "-version") {
            answerWith(name + " (" + text::kAppTitle + ") " + config::kProgramVersion + "\n");
        } else {
            warn("unknown option \"" + arg + "\" ignored");
        }
        info.ParseParam(option, true);
    }
    lostValue();
    return answer;
}

int AnsweredExitStatus() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

bool WriteCommandLineAnswer(const CommandLineAnswer& answer) {
    std::fputs(answer.warnings.c_str(), stderr);
    if (answer.answered) {
        std::fputs(answer.output.c_str(), stdout);
        std::fflush(stdout);
    }
    return answer.answered;
}
