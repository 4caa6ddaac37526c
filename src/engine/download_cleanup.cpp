#include "engine/download_cleanup.h"

#include <string>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "engine/installer_handover.h"
#include "framework/own_files.h"

int DeleteDownloadFiles(const DownloadState& state) {
    const OwnFolder& folder = state.m_versionFolder;
    if (!folder.IsOpen()) {
        return 0;
    }
    for (const PackagePart& part : state.m_index.m_parts) {
        RemoveOwnFile(folder, part.m_name);
    }
    const std::string index = kIndexFileName;
    const std::string installer = kInstallerFileName;
    for (const std::string& own :
         {index, index + kSaveTemporarySuffix, installer, installer + kPartialSuffix,
          std::string(kChecksumsFileName), std::string(kSignatureFileName),
          std::string(kInstallerIdentityFileName),
          kInstallerIdentityFileName + std::string(kSaveTemporarySuffix)}) {
        RemoveOwnFile(folder, own);
    }
    RemoveHandedOverInstallers(state);
    return 1;
}
