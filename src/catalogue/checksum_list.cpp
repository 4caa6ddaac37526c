#include "catalogue/checksum_list.h"

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "catalogue/server_names.h"

bool ChecksumList::Parse(const std::string& text, ChecksumList& list) {
    list = {};
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos || !list.ParseLine(text.substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool ChecksumList::ParseLine(const std::string& line) {
    constexpr std::size_t kHexDigits = 64;
    Sha256Digest digest{};
    if (line.size() < kHexDigits + 3 || !FromHex(line.substr(0, kHexDigits), digest) ||
        line[kHexDigits] != ' ' || (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*')) {
        return false;
    }
    const std::string name = line.substr(kHexDigits + 2);
    if (!IsPlainFileName(name) || Find(name) != nullptr) {
        return false;
    }
    Add(name, digest);
    return true;
}

long long ChecksumList::MaxBytesFor(const PackageIndex& index) {
    constexpr long long kLineBytesBesideName = 64 + 2 + 1;
    constexpr long long kSlack = 4096;
    long long bytes = kSlack;
    for (const std::string own : {kInstallerFileName, kIndexFileName}) {
        bytes += kLineBytesBesideName + static_cast<long long>(own.size());
    }
    for (const PackagePart& part : index.m_parts) {
        bytes += kLineBytesBesideName + static_cast<long long>(part.m_name.size());
    }
    return bytes;
}

void ChecksumList::Add(const std::string& name, const Sha256Digest& digest) {
    if (m_digests.emplace(name, digest).second) {
        m_order.push_back(name);
    }
}

const Sha256Digest* ChecksumList::Find(const std::string& name) const {
    auto it = m_digests.find(name);
    return it == m_digests.end() ? nullptr : &it->second;
}

std::string ChecksumList::Text() const {
    std::string text;
    for (const std::string& name : m_order) {
        text += ToHex(*Find(name)) + "  " + name + "\n";
    }
    return text;
}
