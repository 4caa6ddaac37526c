#pragma once

#include <string>

// The launchers that start the program, one on the desktop and one in the
// applications menu. launcher_glib.cpp writes desktop entries here; the
// Windows file writes shell links.

enum class LauncherPlace { Desktop, ApplicationsMenu };

enum class LauncherWrite { Created, Updated, Failed };

// Writes the launcher in `folder` that starts `target`: Created when there
// was none, Updated when one was there (whatever else the user put into it
// stays). The menu's folder is created when missing; the desktop's is not.
// `icon`, when given, is the desktop's name of the installed program's icon:
// the launcher then shows it and is filed under the menu's categories.
LauncherWrite WriteLauncher(LauncherPlace place, const std::string& folder,
                            const std::string& target, const std::string& icon = {});

// The program that the launcher in `folder` starts, read back as
// WriteLauncher wrote it: one path and nothing else. Empty when there is no
// such launcher, or it runs anything else (arguments, a command looked up).
std::string ReadLauncherTarget(LauncherPlace place, const std::string& folder);
