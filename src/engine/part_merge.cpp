#include "engine/part_merge.h"

#include "catalogue/package_index.h"

int MergeParts(PackageIndex& index, const OwnFolder& folder, const std::string& outputName,
               ProgressCtrl* progress, const std::atomic<int>* cancel, const JoinCheck* check) {
    GrowingJoin join(index, folder, outputName, check, cancel);
    join.Start();
    for (std::size_t i = 0; i < index.m_parts.size(); ++i) {
        join.PartReady(i, index.m_parts[i].m_name);
    }
    return join.Finish(index, progress);
}
