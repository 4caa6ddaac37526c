#include "engine/download_cleanup.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "catalogue/package_files.h"
#include "catalogue/server_names.h"
#include "engine/download_state.h"
#include "engine/installer_handover.h"
#include "framework/own_files.h"

int DeleteDownloadFiles(const DownloadState& state) {
    const OwnFolder& folder = state.m_versionFolder;
    if (!folder.IsOpen()) {
        return 0;
    }
    // By key: a part the maker republished in other letter case may have
    // left its file under the old name, which is the program's all the same.
    std::unordered_set<std::string> keys;
    keys.reserve(state.m_index.m_parts.size() + 8);
    for (const PackagePart& part : state.m_index.m_parts) {
        keys.insert(NameKey(part.m_name));
    }
    const std::string index = kIndexFileName;
    const std::string installer = kInstallerFileName;
    for (const std::string& own :
         {index, index + kSaveTemporarySuffix, installer, installer + kPartialSuffix,
          std::string(kChecksumsFileName), std::string(kSignatureFileName),
          std::string(kInstallerIdentityFileName),
          kInstallerIdentityFileName + std::string(kSaveTemporarySuffix)}) {
        keys.insert(NameKey(own));
    }
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const std::string& name) {
        if (keys.count(NameKey(name)) != 0) {
            names.push_back(name);
        }
        return true;
    });
    for (const std::string& name : names) {
        RemoveOwnFile(folder, name);
    }
    RemoveHandedOverInstallers(state);
    return 1;
}
