#include "catalogue/signed_versions.h"

#include <algorithm>
#include <string_view>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/own_files.h"

namespace {

// Three packages with names of up to 255 bytes fit in far less.
constexpr std::size_t kMaxRecordBytes = 4096;
// Seconds up to the year 2286 and beyond, never past what 64 bits hold.
constexpr std::size_t kMaxSecondsDigits = 15;

// A count of seconds: digits only, no sign, no leading zero but for 0.
bool ParseSeconds(std::string_view text, std::int64_t& seconds) {
    if (text.empty() || text.size() > kMaxSecondsDigits || (text.size() > 1 && text[0] == '0') ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    seconds = 0;
    for (const char c : text) {
        seconds = seconds * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string ReleaseComment(const SignedRelease& release) {
    return kPackageCommentPrefix + release.package + kTimestampCommentPrefix +
           std::to_string(release.signedAt) + kVersionCommentPrefix + release.version;
}

bool ParseReleaseComment(const std::string& comment, SignedRelease& release) {
    const std::string_view text = comment;
    const std::string_view packagePrefix = kPackageCommentPrefix;
    const std::string_view timePrefix = kTimestampCommentPrefix;
    const std::string_view versionPrefix = kVersionCommentPrefix;
    const std::size_t time = text.find(timePrefix);
    if (text.substr(0, packagePrefix.size()) != packagePrefix || time == std::string_view::npos ||
        text.find_first_of("\r\n") != std::string_view::npos) {
        return false;
    }
    const std::size_t timeStart = time + timePrefix.size();
    const std::size_t version = text.find(versionPrefix, timeStart);
    if (version == std::string_view::npos) {
        return false;
    }
    const std::string_view package = text.substr(packagePrefix.size(), time - packagePrefix.size());
    std::int64_t signedAt = 0;
    if (package.empty() || package.find(' ') != std::string_view::npos ||
        !ParseSeconds(text.substr(timeStart, version - timeStart), signedAt) ||
        version + versionPrefix.size() >= text.size()) {
        return false;
    }
    release.package = package;
    release.signedAt = signedAt;
    release.version = text.substr(version + versionPrefix.size());
    return true;
}

Outcome SignedVersions::Read(const OwnFolder& folder) {
    m_recorded.clear();
    std::string text;
    if (!ReadOwnFile(folder, kSignedVersionsFileName, kMaxRecordBytes, text)) {
        EntryInfo info;
        if (StatOwnEntry(folder, kSignedVersionsFileName, info)) {
            return Failure::WithPath(FailureKind::CannotRecordRelease,
                                     folder.PathOf(kSignedVersionsFileName));
        }
        return {};
    }
    const std::string_view timePrefix = kTimestampRecordPrefix;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos || blank == 0 || blank + 1 >= line.size()) {
            continue;
        }
        Recorded recorded;
        std::string_view rest = line.substr(blank + 1);
        const std::size_t next = rest.find(' ');
        if (rest.substr(0, timePrefix.size()) == timePrefix && next != std::string_view::npos &&
            next + 1 < rest.size() &&
            ParseSeconds(rest.substr(timePrefix.size(), next - timePrefix.size()),
                         recorded.signedAt)) {
            recorded.hasTime = true;
            rest.remove_prefix(next + 1);
        }
        recorded.version = rest;
        m_recorded[std::string(line.substr(0, blank))] = std::move(recorded);
    }
    return {};
}

const SignedVersions::Recorded* SignedVersions::Find(const std::string& package) const {
    const auto it = m_recorded.find(package);
    return it == m_recorded.end() ? nullptr : &it->second;
}

Outcome SignedVersions::Judge(const SignedRelease& release, std::int64_t now) const {
    if (release.signedAt > now && release.signedAt - now > kMostSignedAheadSeconds) {
        return Failure(FailureKind::SignedAhead);
    }
    const Recorded* recorded = Find(release.package);
    // The same release again is signed at the same time, and is taken.
    if (recorded != nullptr && recorded->hasTime && release.signedAt < recorded->signedAt) {
        Failure older(FailureKind::OlderRelease);
        older.version = release.version;
        older.otherVersion = recorded->version;
        return older;
    }
    return {};
}

bool SignedVersions::Accept(const OwnFolder& folder, const SignedRelease& release) {
    const Recorded* recorded = Find(release.package);
    if (recorded != nullptr && recorded->hasTime && release.signedAt <= recorded->signedAt) {
        return true;
    }
    m_recorded[release.package] = {true, release.signedAt, release.version};
    std::string text;
    for (const auto& [name, entry] : m_recorded) {
        text += name + ' ';
        if (entry.hasTime) {
            text += kTimestampRecordPrefix + std::to_string(entry.signedAt) + ' ';
        }
        text += entry.version + '\n';
    }
    DurableReplacement record(folder, kSignedVersionsFileName, kSaveTemporarySuffix);
    return record.Write(text) && record.Commit();
}
