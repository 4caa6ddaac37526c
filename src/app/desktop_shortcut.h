#pragma once

#include <string>

// Creates, or brings up to date, the desktop launcher "Velmora Quindle
// 7.desktop" that starts `target`, so that a download spread over several
// sessions can be continued from the desktop. Tells the user when the
// launcher is new and when it cannot be made. `desktopFolder` is the user's
// desktop folder.
void CreateDesktopShortcut(const std::string& target, const std::string& desktopFolder);

// The user's desktop folder.
std::string DesktopFolder();

// The Exec value that runs exactly `path`, quoted for a desktop entry.
std::string QuoteExec(const std::string& path);
