#pragma once

#include <atomic>
#include <string>

#include "engine/growing_join.h"

class OwnFolder;
class PackageIndex;
class ProgressCtrl;

// Joins the part files of `folder` into folder/outputName in index order,
// checking that every part but the last has exactly the part size and the
// last one from 1 to the part size. Shows its own messages and returns 0 on
// failure; clears the done flag (in memory) of a part that is missing,
// unreadable or of the wrong size. Gives up silently when `cancel` becomes
// non-zero. With a check, the joined file is hashed as it is written and
// must match: if it does not, every part that no longer matches its
// checksum is named, deleted and marked for fetching again (one Download
// then fetches them all), or, when all match, the installer is named. The
// output appears only once it is complete, checked and on disk. It is the
// growing join of the parts all at once: it goes on from what an earlier
// join recorded.
int MergeParts(PackageIndex& index, const OwnFolder& folder, const std::string& outputName,
               ProgressCtrl* progress, const std::atomic<int>* cancel = nullptr,
               const JoinCheck* check = nullptr);
