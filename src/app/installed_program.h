#pragma once

#include <string>
#include <vector>

#include "framework/file_system.h"

// The program as a distribution installs it, in a folder of its own below
// the install's prefix and started from the applications menu. Like a
// download, it does not run where it lies: the first start asks for a
// package folder and copies the program there; later starts bring the copy
// that the program's own launcher names up to date and start it.

// Whether `modulePath`, the running program's real path, lies in the
// installed program's folder; `prefix` then receives the install's prefix.
bool IsInstalledProgram(const std::string& modulePath, std::string& prefix);

// The desktop's name of the program's icon (the application id) when the
// install below `prefix` holds it; empty when not.
std::string InstalledIconName(const std::string& prefix);

// A copy of the program in a package folder, held for its start: its folder
// reached from the root through folders that nobody else may change, the
// file opened once. What is compared, replaced and started is the file that
// was checked, whatever the path leads to later.
struct HeldCopy {
    std::string path;
    OwnFolder folder;
    std::string name;
    FileHandle file;
    bool IsHeld() const { return file.IsOpen(); }
};

// The copy at `path`: a regular file, not a link, that only the user can
// change, in a folder beyond others' reach. Not held otherwise.
HeldCopy HoldPackageCopy(const std::string& path);

// The first of `launcherTargets` (what the program's launchers start) that
// is a copy in a package folder, held: named as the main package's program,
// and not the running program itself. Not held when none is.
HeldCopy FindPackageCopy(const std::string& modulePath,
                         const std::vector<std::string>& launcherTargets);

enum class CopyRefresh { Current, Replaced, InUse, Failed };

// Makes the held copy the same as the running program, replacing it durably
// through its folder when they differ (the copy then holds the new file),
// while holding its package folder's lock: a copy running for that folder
// (InUse) or a folder whose lock cannot be had (Failed) is left as it is.
CopyRefresh RefreshPackageCopy(const std::string& modulePath, HeldCopy& copy);

// What the installed program starts: `copy` brought up to date, or, without
// a copy, the one it makes in the folder it asks for. Not held when that
// package folder is in use or open to others, which it has told the user.
HeldCopy InstalledCopyToRun(const std::string& modulePath, HeldCopy copy);
