#include "app/program_start.h"

#include "widgets/shell.h"

// Windows starts a program only by its path. The installed program, the one
// caller that depends on starting the very file it checked, is a Linux
// layout; on Windows the copy lies in a folder that only the user can change.
bool StartProgramFile(const OwnFolder&, const FileHandle&, const std::string& path) {
    return StartDetached(path);
}
