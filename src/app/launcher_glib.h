#pragma once

#include <string>

// The Exec value that runs exactly `path`, quoted for a desktop entry.
std::string QuoteExec(const std::string& path);

// The one path that an Exec value written by QuoteExec runs; empty for any
// other command line.
std::string ExecTarget(const std::string& exec);
