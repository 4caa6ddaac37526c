#include "catalogue/package_layout.h"

PackageId g_currentPackage = kPackageMain;

std::string ServerFolderForPackage(PackageId id) {
    switch (id) {
        case kPackageTobrin:
            return "/download/ttstobrin";
        case kPackageVessa:
            return "/download/ttsvessa";
        default:
            return "/download/quindle7";
    }
}

std::string AppendVoiceFolder(PackageId id, const std::string& folder) {
    switch (id) {
        case kPackageTobrin:
            return folder + "/ttstobrin";
        case kPackageVessa:
            return folder + "/ttsvessa";
        default:
            return folder;
    }
}

bool IsPlainFileName(const std::string& name) {
    constexpr std::size_t kMaxNameBytes = 255;
    if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") {
        return false;
    }
    for (const unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') {
            return false;
        }
    }
    return true;
}

bool IsReservedFileName(const std::string& name) {
    for (const std::string own : {kIndexFileName, kInstallerFileName}) {
        if (name == own || name == own + kSaveTemporarySuffix ||
            name == own + kJoinTemporarySuffix) {
            return true;
        }
    }
    return false;
}
