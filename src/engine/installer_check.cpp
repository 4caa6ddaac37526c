#include "engine/installer_check.h"

#include <unistd.h>

#include <cstdint>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "framework/file_utils.h"

bool KeepInstallerIfComplete(const DownloadState& state) {
    const std::string installer = state.m_strVersionFolder + "/" + kInstallerFileName;
    if (!FileExists(installer)) {
        return false;
    }
    // In 64 bits, so that packages of 2 GiB and more work.
    const PackageIndex& index = state.m_index;
    const std::int64_t complete =
        (static_cast<std::int64_t>(index.m_parts.size()) - 1) * index.m_partSize;
    if (QueryFileSize(installer) < complete) {
        unlink(installer.c_str());
        return false;
    }
    return true;
}
