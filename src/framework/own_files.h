#pragma once

#include <cstddef>
#include <string>

#include "framework/file_system.h"

// Acts on the program's own files made of the file system's calls.

// Reads the whole of the program's own regular file `name`, of at most
// `maxBytes`; false for anything else.
bool ReadOwnFile(const OwnFolder& folder, const std::string& name, std::size_t maxBytes,
                 std::string& content);

// Whether `path`, its links followed, leads to the very entry `name` of the
// held folder (a link there not followed). False when either is missing.
bool IsSameOwnEntry(const OwnFolder& folder, const std::string& name, const std::string& path);

// Puts the data of the program's own regular file `name` on disk, for a
// file that an earlier attempt wrote without; false when it cannot be.
bool SyncOwnFile(const OwnFolder& folder, const std::string& name);

// Moves the program's own regular file `name` from one folder held open to
// another, replacing a regular file of that name there; false for anything
// but a regular file at either end.
bool MoveOwnFile(const OwnFolder& from, const OwnFolder& to, const std::string& name);
