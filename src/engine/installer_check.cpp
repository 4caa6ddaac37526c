#include "engine/installer_check.h"

#include <sys/stat.h>

#include <cstdint>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "framework/own_files.h"

bool KeepInstallerIfComplete(const DownloadState& state) {
    struct stat st {};
    if (!StatOwnEntry(state.m_versionFolder, kInstallerFileName, st)) {
        return false;
    }
    // A link, a FIFO or the like is no installer; it goes like a short one
    // (a link itself, never what it points to). A folder cannot.
    if (!S_ISREG(st.st_mode)) {
        RemoveOwnFile(state.m_versionFolder, kInstallerFileName);
        return false;
    }
    // In 64 bits, so that packages of 2 GiB and more work.
    const PackageIndex& index = state.m_index;
    const std::int64_t complete =
        (static_cast<std::int64_t>(index.m_parts.size()) - 1) * index.m_partSize;
    if (st.st_size < complete) {
        RemoveOwnFile(state.m_versionFolder, kInstallerFileName);
        return false;
    }
    return true;
}
