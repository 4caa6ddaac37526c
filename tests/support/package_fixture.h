#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "catalogue/package_table.h"

// A package as the server publishes it, written below a server root:
// <root>/download/sites, <root>/<server folder>/pkgindex.txt and the parts.
struct PublishedPackage {
    std::string serverFolder;  // "/download/quindle7"
    std::string version;
    std::string installer;  // the bytes the parts join to
    std::vector<std::string> partNames;
    int partSize = 0;

    std::string PartBytes(std::size_t i) const;
    std::string RemotePath(std::size_t i) const { return serverFolder + "/" + partNames[i]; }
};

PublishedPackage PublishPackage(const std::string& root, PackageId id, const std::string& version,
                                int partSize, std::size_t totalSize, unsigned seed = 1);

// Writes <root>/download/sites.
void PublishSiteList(const std::string& root, const std::string& content);
