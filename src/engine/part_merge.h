#pragma once

#include <atomic>
#include <string>

class OwnFolder;
class PackageIndex;
class ProgressCtrl;

// Joins the part files of `folder` into folder/outputName in index order,
// checking that every part but the last has exactly the part size and the
// last one from 1 to the part size. Shows its own messages and returns 0 on
// failure; clears the done flag (in memory) of a part that is missing,
// unreadable or of the wrong size. Gives up silently when `cancel` becomes
// non-zero. The output appears only once it is complete and on disk.
int MergeParts(PackageIndex& index, const OwnFolder& folder, const std::string& outputName,
               ProgressCtrl* progress, const std::atomic<int>* cancel = nullptr);
