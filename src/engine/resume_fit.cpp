#include "engine/resume_fit.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "catalogue/server_names.h"
#include "framework/own_files.h"

namespace {

bool SameLayout(const PackageIndex& a, const PackageIndex& b) {
    if (a.m_partSize != b.m_partSize || a.m_parts.size() != b.m_parts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.m_parts.size(); ++i) {
        if (a.m_parts[i].m_name != b.m_parts[i].m_name) {
            return false;
        }
    }
    return true;
}

// The file holds what a part at this place may hold: a whole part, or for
// the last part a byte up to a whole part.
bool HasPartSize(const OwnFolder& folder, const std::string& name, bool last,
                 std::int32_t partSize) {
    EntryInfo info;
    if (!StatOwnEntry(folder, name, info) || info.kind != EntryKind::File || info.links != 1) {
        return false;
    }
    return last ? info.size >= 1 && info.size <= partSize : info.size == partSize;
}

// Which name holds the part kept as `oldName`, now published as `newName`
// with the same key: the old one, unless the disk takes both for one file
// (as one that ignores case does) or the old one is gone.
std::string KeptFile(const OwnFolder& folder, const std::string& oldName,
                     const std::string& newName) {
    EntryInfo kept;
    EntryInfo now;
    if (oldName == newName || !StatOwnEntry(folder, oldName, kept) ||
        (StatOwnEntry(folder, newName, now) && now.identity == kept.identity)) {
        return newName;
    }
    return oldName;
}

}  // namespace

ResumeFit FitResumeState(PackageIndex& resume, const PackageIndex& published,
                         const OwnFolder& folder, bool checksumsKnown) {
    if (SameLayout(resume, published)) {
        return ResumeFit::Unchanged;
    }
    // By key: on a file system that ignores case, a part published now as
    // "A.001" is the file the download kept as "a.001".
    std::unordered_map<std::string, std::size_t> before;
    before.reserve(resume.m_parts.size());
    for (std::size_t i = 0; i < resume.m_parts.size(); ++i) {
        before.emplace(NameKey(resume.m_parts[i].m_name), i);
    }

    PackageIndex fitted;
    fitted.m_productVersion = published.m_productVersion;
    fitted.m_partSize = published.m_partSize;
    fitted.m_parts.reserve(published.m_parts.size());
    // An old name is removed only when no published name has its key; one
    // that has is the same part, renamed.
    std::unordered_set<std::string> publishedKeys;
    publishedKeys.reserve(published.m_parts.size());
    std::vector<std::string> unfit;
    std::vector<std::pair<std::string, std::string>> renames;
    for (std::size_t i = 0; i < published.m_parts.size(); ++i) {
        const std::string& name = published.m_parts[i].m_name;
        const std::string key = NameKey(name);
        publishedKeys.insert(key);
        const bool last = i + 1 == published.m_parts.size();
        PackagePart part{name, 0};
        const auto old = before.find(key);
        // The file the download kept: under the old name, unless the disk
        // takes both names for one file already.
        const std::string source =
            old != before.end() ? KeptFile(folder, resume.m_parts[old->second].m_name, name) : name;
        const bool fits =
            old != before.end() && HasPartSize(folder, source, last, fitted.m_partSize);
        if (fits && !checksumsKnown) {
            // Without checksums only the size can tell; the last part's
            // size is not published, so it must have been last before too,
            // in parts of the same size.
            const bool wasLast = old->second + 1 == resume.m_parts.size();
            part.m_done = resume.m_parts[old->second].m_done != 0 &&
                                  (!last || (wasLast && resume.m_partSize == fitted.m_partSize))
                              ? 1
                              : 0;
        }
        // A part kept for its checksum is checked before it counts; without
        // checksums a part not done starts from zero, so its file goes.
        if (!fits || (!checksumsKnown && part.m_done == 0)) {
            unfit.push_back(name);
            if (source != name) {
                unfit.push_back(source);
            }
        } else if (source != name) {
            renames.emplace_back(source, name);
        }
        fitted.m_parts.push_back(std::move(part));
    }
    for (const PackagePart& part : resume.m_parts) {
        if (publishedKeys.count(NameKey(part.m_name)) == 0) {
            unfit.push_back(part.m_name);
        }
    }

    // The new state first: should it fail, the old one and every file stay.
    if (!fitted.SaveAs(folder, kIndexFileName)) {
        return ResumeFit::Failed;
    }
    for (const std::string& name : unfit) {
        RemoveOwnFile(folder, name);
    }
    // A crash before a rename leaves the part under its old name: the next
    // run finds it missing and fetches it again, and Cleanup removes the
    // old name by its key.
    for (const auto& [from, to] : renames) {
        RenameOwnFile(folder, from, folder, to);
    }
    const std::string installer = kInstallerFileName;
    const std::string identity = kInstallerIdentityFileName;
    const std::string joined = installer + kJoinRecordSuffix;
    for (const std::string& own :
         {installer, installer + kPartialSuffix, identity, identity + kSaveTemporarySuffix, joined,
          joined + kSaveTemporarySuffix}) {
        RemoveOwnFile(folder, own);
    }
    resume = std::move(fitted);
    return ResumeFit::Refitted;
}
