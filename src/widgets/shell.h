#pragma once

#include <string>

// Opens a file the way the desktop would: a native program (an ELF file or
// a "#!" script) is made executable and started on its own, anything else
// goes to the desktop's opener. The result is not reported.
void ShellOpen(const std::string& path);

// Starts a program detached from this process, without arguments.
bool StartDetached(const std::string& path);
