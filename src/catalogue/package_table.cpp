#include "catalogue/package_table.h"

#include "framework/file_system.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"

PackageId g_currentPackage = kPackageMain;

namespace {

const PackageInfo kPackages[kPackageCount] = {
    {kPackageMain, "/download/quindle7", "", "VELMORA_QUINDLE_7", res::IDM_PACKAGE_MAIN,
     text::kMenuPackageMain, text::kCaptionMainPackage, text::kNameMainPackage, "main"},
    {kPackageTobrin, "/download/ttstobrin", "ttstobrin", "VELMORA_TTS_TOBRIN",
     res::IDM_PACKAGE_TOBRIN, text::kMenuPackageTobrin, text::kCaptionTobrinPackage,
     text::kNameTobrinPackage, "tobrin"},
    {kPackageVessa, "/download/ttsvessa", "ttsvessa", "VELMORA_TTS_VESSA", res::IDM_PACKAGE_VESSA,
     text::kMenuPackageVessa, text::kCaptionVessaPackage, text::kNameVessaPackage, "vessa"},
};

}  // namespace

const PackageInfo& PackageInfoFor(PackageId id) {
    return kPackages[id >= kPackageMain && id < kPackageCount ? id : kPackageMain];
}

const PackageInfo* PackageForMenuCommand(int command) {
    for (const PackageInfo& package : kPackages) {
        if (package.menuCommand == command) {
            return &package;
        }
    }
    return nullptr;
}

const PackageInfo* PackageForPublisherName(const std::string& name) {
    for (const PackageInfo& package : kPackages) {
        if (name == package.publisherName) {
            return &package;
        }
    }
    return nullptr;
}

std::string ServerFolderForPackage(PackageId id) {
    return PackageInfoFor(id).serverFolder;
}

std::string AppendVoiceFolder(PackageId id, const std::string& folder) {
    const char* voice = PackageInfoFor(id).voiceFolder;
    return *voice == '\0' ? folder : folder + kPathSeparator + voice;
}
