#include "catalogue/checksum_list.h"

#include "catalogue/server_names.h"

bool ChecksumList::Parse(const std::string& text, ChecksumList& list) {
    list = {};
    constexpr std::size_t kHexDigits = 64;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            return false;
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        Sha256Digest digest{};
        if (line.size() < kHexDigits + 3 || !FromHex(line.substr(0, kHexDigits), digest) ||
            line[kHexDigits] != ' ' ||
            (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*')) {
            return false;
        }
        const std::string name = line.substr(kHexDigits + 2);
        if (!IsPlainFileName(name) || list.Find(name) != nullptr) {
            return false;
        }
        list.Add(name, digest);
    }
    return true;
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
