#pragma once

#include <string>

// The full path of the running program file; empty if it cannot be read.
std::string ModuleFileName();
