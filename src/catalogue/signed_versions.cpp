#include "catalogue/signed_versions.h"

#include <algorithm>
#include <string_view>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/own_files.h"

namespace {

// Three packages with names of up to 255 bytes fit in far less.
constexpr std::size_t kMaxRecordBytes = 4096;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int CompareNumbers(std::string_view a, std::string_view b) {
    // Any length of digits: leading zeros go, then the longer is larger.
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

// The next run of digits, or of other bytes, from `at`.
std::string_view Run(std::string_view field, std::size_t& at) {
    const std::size_t start = at;
    const bool digits = IsDigit(field[at]);
    while (at < field.size() && IsDigit(field[at]) == digits) {
        ++at;
    }
    return field.substr(start, at - start);
}

// Runs of digits compare as numbers, other runs (and a run of digits against
// one of other bytes) byte by byte. Comparing whole fields byte-wise as soon
// as one is not a number would not be an order ("7.2" < "7.10" < "7.10a" <
// "7.2"), and an old release could then pass for a newer one.
int CompareFields(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::string_view x = Run(a, i);
        const std::string_view y = Run(b, j);
        const int order = IsDigit(x[0]) && IsDigit(y[0]) ? CompareNumbers(x, y) : x.compare(y);
        if (order != 0) {
            return order;
        }
    }
    return i < a.size() ? 1 : j < b.size() ? -1 : 0;
}

std::string_view Field(std::string_view version, std::size_t& at) {
    const std::size_t dot = std::min(version.find('.', at), version.size());
    const std::string_view field = version.substr(at, dot - at);
    at = dot + 1;
    return field;
}

}  // namespace

std::string ReleaseComment(const std::string& package, const std::string& version) {
    return kPackageCommentPrefix + package + kVersionCommentPrefix + version;
}

bool ParseReleaseComment(const std::string& comment, std::string& package, std::string& version) {
    const std::string prefix = kPackageCommentPrefix;
    const std::size_t separator = comment.find(kVersionCommentPrefix);
    if (comment.rfind(prefix, 0) != 0 || separator == std::string::npos ||
        separator <= prefix.size() || comment.find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    package = comment.substr(prefix.size(), separator - prefix.size());
    version = comment.substr(separator + std::string(kVersionCommentPrefix).size());
    return package.find(' ') == std::string::npos && !version.empty();
}

int CompareVersions(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i <= a.size() && j <= b.size()) {
        const int order = CompareFields(Field(a, i), Field(b, j));
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    if (i <= a.size()) {
        return 1;
    }
    return j <= b.size() ? -1 : 0;
}

SignedVersions::Load SignedVersions::Read(const OwnFolder& folder) {
    m_newest.clear();
    std::string text;
    if (!ReadOwnFile(folder, kSignedVersionsFileName, kMaxRecordBytes, text)) {
        EntryInfo info;
        return StatOwnEntry(folder, kSignedVersionsFileName, info) ? Load::Unreadable
                                                                   : Load::Missing;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos && blank > 0 && blank + 1 < line.size()) {
            m_newest[line.substr(0, blank)] = line.substr(blank + 1);
        }
    }
    return Load::Read;
}

const std::string* SignedVersions::NewestFor(const std::string& package) const {
    const auto it = m_newest.find(package);
    return it == m_newest.end() ? nullptr : &it->second;
}

bool SignedVersions::Accept(const OwnFolder& folder, const std::string& package,
                            const std::string& version) {
    const std::string* newest = NewestFor(package);
    if (newest != nullptr && CompareVersions(version, *newest) <= 0) {
        return true;
    }
    m_newest[package] = version;
    std::string text;
    for (const auto& [name, recorded] : m_newest) {
        text += name + ' ' + recorded + '\n';
    }
    DurableReplacement record(folder, kSignedVersionsFileName, kSaveTemporarySuffix);
    return record.Write(text) && record.Commit() == DurableReplacement::Result::Committed;
}
