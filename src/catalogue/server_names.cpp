#include "catalogue/server_names.h"

#include <string_view>
#include <unordered_set>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"

bool IsPlainFileName(const std::string& name) {
    constexpr std::size_t kMaxNameBytes = 255;
    // A leading dot would also make hidden names, such as a ".ssh" folder.
    if (name.empty() || name.size() > kMaxNameBytes || name[0] == '.') {
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
    for (const std::string own :
         {kIndexFileName, kInstallerFileName, kChecksumsFileName, kSignatureFileName}) {
        if (name == own || name == own + kSaveTemporarySuffix || name == own + kPartialSuffix) {
            return true;
        }
    }
    return false;
}

bool IsSafeIndex(const PackageIndex& index) {
    if (!IsPlainFileName(index.m_productVersion)) {
        return false;
    }
    if (!index.m_parts.empty() && index.m_partSize <= 0) {
        return false;
    }
    std::unordered_set<std::string_view> names;
    names.reserve(index.m_parts.size());
    for (const PackagePart& part : index.m_parts) {
        if (!IsPlainFileName(part.m_name) || IsReservedFileName(part.m_name) ||
            !names.insert(part.m_name).second) {
            return false;
        }
    }
    return true;
}
