#pragma once

#include "framework/file_system.h"

class DownloadState;

// The installer goes to whatever opens it (the desktop's opener, the shell)
// by a path, and that program may open it seconds later, after this one has
// ended. So the checked installer gets a name of its own for the hand-over:
// a second name for the same file (a copy, checked against the installer,
// where the file system has no such names) in a folder of the program's own
// inside the package folder, which only the user can change.
// Hands over the installer of the prepared version folder, which the caller
// found to be the checked one, and returns the folder it lies in, under
// kInstallerFileName. What earlier hand-overs left in the folder goes first,
// unless it is this very installer (which may be running). Fails as
// FolderOpenToOthers (others can change the package folder or a folder
// above it: no path through it can promise what it names) or as
// CannotCreateFile (the hand-over folder or the installer's name in it
// cannot be made), each with the path that could not be used.
Result<OwnFolder> HandOverInstaller(const DownloadState& state);

// Empties the hand-over folder: Cleanup's share of it. Never at start, as an
// installer may still be running from there.
void RemoveHandedOverInstallers(const DownloadState& state);
