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
LauncherWrite WriteLauncher(LauncherPlace place, const std::string& folder,
                            const std::string& target);
