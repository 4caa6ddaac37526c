#pragma once

#include <atomic>
#include <string>

#include "framework/file_system.h"
#include "framework/sha256.h"

// Feeds the rest of an open file; false on a read error, or as soon as
// `cancel` is set (closing must not wait for a large file to be read).
bool HashFileContents(const FileHandle& file, Sha256& hash,
                      const std::atomic<int>* cancel = nullptr);
// Feeds the whole of the program's own regular file `name`; false when it
// cannot be opened or read, or is cancelled.
bool HashOwnFile(const OwnFolder& folder, const std::string& name, Sha256& hash,
                 const std::atomic<int>* cancel = nullptr);
