#include "catalogue/server_names.h"

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"

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
    if (index.m_parts.size() > 1 && index.m_partSize <= 0) {
        return false;
    }
    for (std::size_t i = 0; i < index.m_parts.size(); ++i) {
        const std::string& name = index.m_parts[i].m_name;
        if (!IsPlainFileName(name) || IsReservedFileName(name)) {
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (index.m_parts[j].m_name == name) {
                return false;
            }
        }
    }
    return true;
}
