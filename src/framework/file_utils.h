#pragma once

#include <cstdint>
#include <string>

#include "framework/file_system.h"

// Small file-system helpers shared by the whole program, by path. Paths are
// plain byte strings with kPathSeparator between their elements. None of
// them treats a missing file as an error; MakeDirectoryTree is the only one
// that speaks to the user.

// True when a file or a folder of that name exists.
bool FileExists(const std::string& path);

// The folder part of a path, up to its last separator ("" for a file at
// the root), or empty when the path names no folder.
std::string FolderOfPath(const std::string& path);

// Size in bytes, or -1 when nothing of that name exists. A folder counts as 0.
std::int64_t QueryFileSize(const std::string& path);

// Deletes the files directly inside the folder, ignoring every failure to
// delete; subfolders and the folder itself stay. Returns 0, with errno set to
// EINVAL and nothing touched, for an empty folder path; 1 otherwise.
int DeleteAllFiles(const std::string& folder);
// The same in a folder held open.
void DeleteAllFiles(const OwnFolder& folder);

// Creates every missing folder along the path up to its last separator: pass
// a folder with a trailing separator to create the folder itself, or the path of a
// file to create the folders that will hold it. On the first folder that
// cannot be created it reports the system's error (Report) and stops. The folders
// it makes are made with `access` (MakeFolder).
void MakeDirectoryTree(const std::string& path, NewFile access = NewFile::Shared);
