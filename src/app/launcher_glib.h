#pragma once

#include <string>

// The Exec value that runs exactly `path`, quoted for a desktop entry.
std::string QuoteExec(const std::string& path);
