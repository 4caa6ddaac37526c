#pragma once

#include <string>

// What the command line asks before any window opens: the help and the
// version are answered and the program ends; an argument the program does
// not take is named on standard error and the program starts all the same.
struct CommandLineAnswer {
    std::string output;     // the help or the version, for standard output
    std::string warnings;   // one line per argument ignored, for standard error
    bool answered = false;  // the program ends here, successfully
};

// Reads the arguments as ParseCommandLine does ("-" or "/" starts an
// option; an option's value is the next argument that is none), so that the
// warnings name exactly what the start-up ignores. The first of --help (also
// -h, -?, /?) and --version wins.
CommandLineAnswer AnswerCommandLine(int argc, const char* const* argv);

// Writes the warnings to standard error and the output to standard output;
// whether the program ends here.
bool WriteCommandLineAnswer(const CommandLineAnswer& answer);

// The exit status of a program that ended with its answer: a failure when
// the answer could not be written (a full disk, a closed pipe).
int AnsweredExitStatus();
