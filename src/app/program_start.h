#pragma once

#include <string>

#include "framework/file_system.h"

// Starts the program file held open in `folder`, detached from this process
// and without arguments, in that folder. Started through the handle, not by
// its path, where the system can (POSIX): whatever the path leads to by
// now, what runs is the file that was checked. `path` is its name for the
// program itself and for the system where it can only start by path.
bool StartProgramFile(const OwnFolder& folder, const FileHandle& file, const std::string& path);

// The copy that a first start makes and starts writes the same shortcut
// again; what went wrong with it the first process has said. It marks its
// environment, which the copy inherits, and the copy takes the mark (and
// removes it, so that nothing the copy starts carries it on).
void MarkShortcutSaid();
bool TakeShortcutSaidMark();
