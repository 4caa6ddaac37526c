#pragma once

#include <string>

// Creates, or brings up to date, the launcher that starts `target`, so that
// a download spread over several sessions can be continued: the entry
// "velmora-quindle-7.desktop" in the applications menu (`applicationsFolder`,
// created when missing) and "Velmora Quindle 7.desktop" in the desktop
// folder. Tells the user when the desktop's launcher is new and when it
// cannot be made; without a desktop folder only the menu entry is written,
// and nothing is said unless that fails too.
void CreateDesktopShortcut(const std::string& target, const std::string& desktopFolder,
                           const std::string& applicationsFolder);

// The user's desktop folder, and the folder of the applications menu's
// entries ($XDG_DATA_HOME/applications).
std::string DesktopFolder();
std::string ApplicationsFolder();

// The Exec value that runs exactly `path`, quoted for a desktop entry.
std::string QuoteExec(const std::string& path);
