#include "engine/download_cleanup.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "catalogue/package_files.h"
#include "catalogue/server_names.h"
#include "engine/download_state.h"
#include "engine/installer_handover.h"
#include "framework/own_files.h"

namespace {

// Renames the unreadable resume state to the first free set-aside name. The
// folder is the program's own: nothing else makes names there meanwhile.
void SetAsideResumeState(const OwnFolder& folder) {
    constexpr int kMostSetAside = 1000;
    for (int n = 1; n <= kMostSetAside; ++n) {
        const std::string name = kSetAsideIndexPrefix + std::to_string(n) + kSetAsideIndexSuffix;
        EntryInfo taken;
        if (!StatOwnEntry(folder, name, taken)) {
            RenameOwnFile(folder, kIndexFileName, folder, name);
            return;
        }
    }
}

}  // namespace

int DeleteDownloadFiles(const DownloadState& state) {
    const OwnFolder& folder = state.m_versionFolder;
    if (!folder.IsOpen()) {
        if (!state.m_unreadableResumeFolder.IsOpen()) {
            return 0;
        }
        // Nothing else is known to be the download's: only the record goes
        // aside, and the next preparation starts it anew, finding the whole
        // parts already there.
        SetAsideResumeState(state.m_unreadableResumeFolder);
        return 1;
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
          kInstallerIdentityFileName + std::string(kSaveTemporarySuffix),
          installer + kJoinRecordSuffix, installer + kJoinRecordSuffix + kSaveTemporarySuffix}) {
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
