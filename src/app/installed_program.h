#pragma once

#include <string>
#include <vector>

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

// The first of `launcherTargets` (what the program's launchers start) that
// is a copy in a package folder: a regular file, not a link, named as the
// main package's program, and not the running program itself. Empty when
// none is.
std::string FindPackageCopy(const std::string& modulePath,
                            const std::vector<std::string>& launcherTargets);

enum class CopyRefresh { Current, Replaced, InUse, Failed };

// Makes `copy` the same as the running program, replacing it durably when
// they differ, while holding its package folder's lock: a copy running for
// that folder (InUse) or a folder whose lock cannot be had (Failed) is left
// as it is.
CopyRefresh RefreshPackageCopy(const std::string& modulePath, const std::string& copy);

// What the installed program starts: `copy` brought up to date, or, without
// a copy, the one it makes in the folder it asks for. Empty when that
// package folder is in use, which it has told the user.
std::string InstalledRunPath(const std::string& modulePath, const std::string& copy);
