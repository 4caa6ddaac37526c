#pragma once

#include <string>

// The user's folders that start-up needs, as the desktop names them; each is
// empty when there is none. known_folders_qt.cpp reads them here (the XDG
// user folders), the Windows file asks the shell for its known folders. The
// home folder is the dialog layer's (widgets/shell.h).

// Where the desktop's icons live.
std::string DesktopFolder();
// The user's download folder, where a browser saves a program: one started
// from here copies itself to a package folder first.
std::string DownloadsFolder();
// The browser's temporary internet files, which do the same on Windows; no
// such folder here.
std::string BrowserCacheFolder();
// The folder of the applications menu's launchers ($XDG_DATA_HOME/applications).
std::string ApplicationsMenuFolder();
