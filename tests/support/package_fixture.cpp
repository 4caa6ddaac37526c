#include "support/package_fixture.h"

#include <cstdio>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "support/temp_dir.h"

std::string PublishedPackage::PartBytes(std::size_t i) const {
    return installer.substr(i * static_cast<std::size_t>(partSize),
                            static_cast<std::size_t>(partSize));
}

PublishedPackage PublishPackage(const std::string& root, PackageId id, const std::string& version,
                                int partSize, std::size_t totalSize, unsigned seed) {
    PublishedPackage package;
    package.serverFolder = ServerFolderForPackage(id);
    package.version = version;
    package.installer = PatternBytes(totalSize, seed);
    package.partSize = partSize;
    const std::size_t count =
        (totalSize + static_cast<std::size_t>(partSize) - 1) / static_cast<std::size_t>(partSize);
    PackageIndex index;
    index.m_productVersion = version;
    index.m_partSize = partSize;
    for (std::size_t i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "velmora.%03zu", i + 1);
        package.partNames.push_back(name);
        index.m_parts.push_back({name, 0});
        WriteFile(root + package.serverFolder + "/" + name, package.PartBytes(i));
    }
    WriteFile(root + package.serverFolder + "/pkgindex.txt", "");
    index.SaveAs(root + package.serverFolder + "/pkgindex.txt");
    return package;
}

void PublishSiteList(const std::string& root, const std::string& content) {
    WriteFile(root + kSiteListRemotePath, content);
}
