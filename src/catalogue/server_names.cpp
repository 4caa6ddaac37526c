#include "catalogue/server_names.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <unordered_set>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"

namespace {

bool IsAscii(std::string_view name) {
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// For an ASCII name the key is the name with its letters in lower case:
// the sets below keep a view of the name itself and compare it folded, so
// that a million ASCII part names cost no copy. A key of any other name is
// folded already, so folding it again changes nothing.
struct FoldedHash {
    std::size_t operator()(std::string_view name) const {
        std::size_t hash = 14695981039346656037ull;  // FNV-1a
        for (const char c : name) {
            hash = (hash ^ static_cast<unsigned char>(Folded(c))) * 1099511628211ull;
        }
        return hash;
    }
};

struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return Folded(x) == Folded(y); });
    }
};

}  // namespace

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

bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        std::size_t length = 1;
        std::uint32_t point = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07u;
        } else if (lead >= 0xE0) {
            length = lead <= 0xEF ? 3 : 0;
            point = lead & 0x0Fu;
        } else if (lead >= 0xC2) {
            length = 2;
            point = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            return false;
        }
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0u) != 0x80u) {
                return false;
            }
            point = (point << 6) | (byte(i + k) & 0x3Fu);
        }
        // No longer form than needed, no surrogate, nothing past U+10FFFF.
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsPortableFileName(const std::string& name) {
    if (!IsPlainFileName(name) || !IsValidUtf8(name) || name.back() == '.' || name.back() == ' ' ||
        name.find_first_of("<>:\"|?*") != std::string::npos) {
        return false;
    }
    // A device name stays one with any extension ("nul.txt" is NUL) and
    // with blanks before it ("CON .txt").
    std::string stem = NameKey(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (stem == device) {
            return false;
        }
    }
    if (stem.rfind("com", 0) != 0 && stem.rfind("lpt", 0) != 0) {
        return true;
    }
    // COM0 to COM9 and LPT0 to LPT9, and with the superscript digits ¹ ² ³.
    const std::string number = stem.substr(3);
    const bool digit = number.size() == 1 && number[0] >= '0' && number[0] <= '9';
    const bool superscript = number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
    return !digit && !superscript;
}

std::string NameKey(const std::string& name) {
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t length =
        IsAscii(name) ? -1
                      : utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                                     static_cast<utf8proc_ssize_t>(name.size()), &mapped,
                                     static_cast<utf8proc_option_t>(
                                         UTF8PROC_STABLE | UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD));
    std::string key = name;
    if (length >= 0) {
        key.assign(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
    } else {
        // ASCII, or not UTF-8 at all: its ASCII letters folded alone.
        std::transform(key.begin(), key.end(), key.begin(), Folded);
    }
    std::free(mapped);
    return key;
}

bool IsReservedFileName(const std::string& name) {
    const std::string folded = NameKey(name);
    for (const std::string& own :
         {NameKey(kIndexFileName), NameKey(kInstallerFileName), NameKey(kChecksumsFileName),
          NameKey(kSignatureFileName), NameKey(kInstallerIdentityFileName),
          NameKey(std::string(kInstallerFileName) + kJoinRecordSuffix)}) {
        if (folded == own || folded == own + kSaveTemporarySuffix ||
            folded == own + kPartialSuffix) {
            return true;
        }
    }
    // The package folder's own files, which a version folder would meet.
    for (const std::string& own :
         {NameKey(kSiteListFileName), NameKey(kLockFileName), NameKey(kSignedVersionsFileName)}) {
        if (folded == own || folded == own + kSaveTemporarySuffix) {
            return true;
        }
    }
    return false;
}

bool IsSetAsideIndexName(const std::string& name) {
    const std::string_view prefix = kSetAsideIndexPrefix;
    const std::string_view suffix = kSetAsideIndexSuffix;
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string_view number =
        std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsSafeIndex(const PackageIndex& index) {
    if (!IsPortableFileName(index.m_productVersion) || IsReservedFileName(index.m_productVersion)) {
        return false;
    }
    if (!index.m_parts.empty() && index.m_partSize <= 0) {
        return false;
    }
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> keys;
    keys.reserve(index.m_parts.size());
    // The keys of names that are not ASCII, where the views point.
    std::deque<std::string> otherKeys;
    for (const PackagePart& part : index.m_parts) {
        if (!IsPortableFileName(part.m_name) || IsReservedFileName(part.m_name)) {
            return false;
        }
        std::string_view key = part.m_name;
        if (!IsAscii(key)) {
            key = otherKeys.emplace_back(NameKey(part.m_name));
        }
        if (!keys.insert(key).second) {
            return false;
        }
    }
    return true;
}
