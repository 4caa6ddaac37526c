#pragma once

#include <string>
#include <vector>

#include "catalogue/package_table.h"
#include "framework/file_system.h"

// The program file name of each package: "VELMORA_QUINDLE_7",
// "VELMORA_TTS_TOBRIN", "VELMORA_TTS_VESSA", with ".exe" on Windows; an
// unknown id gives the first.
std::string GetPackageProgramName(PackageId id);

// Where the program must run from. A program whose path holds the main
// package's program name runs in place; one started from a folder where a
// browser leaves what it downloads (`downloadFolders`: the user's download
// folder, the browser's cache; an empty one stands for none), or from a
// folder below it, as the file system judges (by the folder's identity,
// however the path spells it), asks for a
// package folder, copies itself there and returns the copy's path; anything
// else runs in place. Empty when the chosen folder is in use by a running
// program, which it has told the user: nothing is copied or started then.
std::string CopyToPackageFolder(const std::string& modulePath,
                                const std::vector<std::string>& downloadFolders);

// What a start does that cannot copy the program where the user wants it:
// run where it lies (a program downloaded into a browser's folder), or
// nothing (the installed program, which never runs where it lies).
enum class WithoutCopy { RunInPlace, StartNothing };

// The copy itself, wherever the program was started: asks for the package
// folder, copies the program there and returns the copy's path. A copy that
// fails is said, with the system's reason, and the folder asked for again;
// Cancel then means no copy: the module path, with a word on where the
// download goes, or empty for StartNothing. Empty when the folder is in use
// (said).
std::string CopyIntoChosenFolder(const std::string& modulePath, WithoutCopy fallback);

// The folder a program file lies in, its package folder; empty for a path
// without one.
std::string PackageFolderOf(const std::string& programPath);

// Tells the user that a program already runs for the package folder.
void ShowFolderInUse(const std::string& folder);

// Copies a program file, replacing the target, with execute permission.
// The copy is written beside the target and renamed, so a running program
// of that name is not disturbed. A failure carries the system's code.
Outcome CopyProgramFile(const std::string& from, const std::string& to);
// The same into the file `name` of a held folder.
Outcome CopyProgramFile(const std::string& from, const OwnFolder& folder, const std::string& name);
