#pragma once

#include <string>

// Creates, or brings up to date, the launcher that starts `target`, so that
// a download spread over several sessions can be continued: one in the
// applications menu (`applicationsFolder`, created when missing) and one in
// the desktop folder. Tells the user when the desktop's launcher is new and
// when it cannot be made; without a desktop folder only the menu's launcher
// is written, and nothing is said unless that fails too. `icon` names the
// installed program's icon for both; empty for a program only downloaded.
// A failure is not said when `sayFailure` is false: the process that
// started this one has said it already.
void CreateDesktopShortcut(const std::string& target, const std::string& desktopFolder,
                           const std::string& applicationsFolder, const std::string& icon = {},
                           bool sayFailure = true);
