#include "app/command_line_answer.h"

#include <cstdio>
#include <utility>

#include "app/download_command_line_info.h"
#include "catalogue/package_table.h"
#include "framework/build_config.h"
#include "framework/failure_text.h"
#include "framework/texts.h"

namespace {

// As the user called it; the program's own name when the system gave none.
std::string CalledName(int argc, const char* const* argv) {
    std::string name = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    name.erase(0, name.find_last_of("/\\") + 1);
    return name.empty() ? PackageInfoFor(kPackageMain).programName : name;
}

std::string HelpText(const std::string& name) {
    return Compose(text::kCommandLineHelp, {{"name", name},
                                            {"launcher", text::kShortcutName},
                                            {"primary_host", config::kPrimaryDownloadHost},
                                            {"alternate_host", config::kAlternateDownloadHost}});
}

}  // namespace

CommandLineAnswer AnswerCommandLine(int argc, const char* const* argv) {
    const std::string name = CalledName(argc, argv);
    CommandLineAnswer answer;
    const auto warn = [&](const std::string& what) {
        answer.warnings += Compose(text::kCommandLineWarning, {{"name", name}, {"what", what}});
    };
    // Follows which option waits for its value, as the start-up will.
    DownloadCommandLineInfo info;
    std::string waiting;
    const auto lostValue = [&] {
        if (info.m_nPendingOption != -1) {
            warn(Compose(text::kOptionWithoutValue, {{"option", waiting}}));
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
                warn(Compose(text::kArgumentIgnored, {{"argument", arg}}));
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
            answerWith(Compose(text::kCommandLineVersion, {{"name", name},
                                                           {"title", text::kAppTitle},
                                                           {"version", config::kProgramVersion}}));
        } else {
            warn(Compose(text::kUnknownOption, {{"option", arg}}));
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
