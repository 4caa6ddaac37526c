#include <windows.h>

#include "app/program_start.h"

#include "widgets/shell.h"

// Windows starts a program only by its path. The installed program, the one
// caller that depends on starting the very file it checked, is a Linux
// layout; on Windows the copy lies in a folder that only the user can change.
bool StartProgramFile(const OwnFolder&, const FileHandle&, const std::string& path) {
    return StartDetached(path);
}

namespace {

constexpr wchar_t kShortcutSaid[] = L"VELMORA_QUINDLE_SHORTCUT_SAID";

}  // namespace

// CreateProcessW, given no environment, passes on this process's own.
void MarkShortcutSaid() {
    SetEnvironmentVariableW(kShortcutSaid, L"1");
}

bool TakeShortcutSaidMark() {
    const bool said = GetEnvironmentVariableW(kShortcutSaid, nullptr, 0) > 0;
    SetEnvironmentVariableW(kShortcutSaid, nullptr);
    return said;
}
