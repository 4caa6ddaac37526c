#pragma once

#include <string>

#include "framework/own_files.h"

// Opens the file `name` of a held folder the way the desktop would: a
// native program (an ELF file or a "#!" script) is made executable and
// started on its own, anything else goes to the desktop's opener (on
// Windows the shell's "open"). The file is read and made executable through
// the folder's handle; what is started is given the folder's path and the
// name, which the opener may use after this program has ended, so the
// folder must be one that only the user can change. A link or anything but
// a regular file at the name is not opened; false then, or when nothing
// could be started.
bool ShellOpen(const OwnFolder& folder, const std::string& name);

// Starts a program detached from this process, without arguments.
bool StartDetached(const std::string& path);

// The user's home folder.
std::string HomeFolder();

// Where the package folder is first offered: in the home folder here, at
// the root of the system's drive ("C:") on Windows.
std::string PackageFolderBase();

// A folder chooser titled `title`, owned by the window that asks and
// starting in the user's home folder; the chosen folder, or empty when the
// user cancelled.
std::string BrowseForFolder(const std::string& title);

// The pointer shows that the program is busy, until EndWaitCursor. Message
// boxes shown meanwhile get the ordinary pointer.
void BeginWaitCursor();
void EndWaitCursor();
