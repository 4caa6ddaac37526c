#include "engine/checksums.h"

#include <sstream>

#include "catalogue/checksum_list.h"
#include "catalogue/minisign.h"
#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "engine/connection_advice.h"
#include "engine/download_state.h"
#include "framework/message_box.h"
#include "framework/own_files.h"
#include "framework/texts.h"

namespace {

constexpr long kStatusNotFound = 404;

enum class Fetched { Yes, Missing, Failed };

Fetched FetchFileOfThePackage(DownloadState& state, const OwnFolder& folder, const char* name,
                              long long maxBytes, std::string& error) {
    FetchLimits limits = state.m_listLimits;
    limits.maxBytes = maxBytes;
    FetchDetails details;
    error.clear();
    if (DownloadFile(state.m_strHost, kHttpPort, state.m_strServerFolder + "/" + name,
                     LocalFile(folder, name), 0, error, state.GetProxy(), nullptr, kProgressDivisor,
                     nullptr, limits, &details)) {
        return Fetched::Yes;
    }
    // What another server sent before stays no longer than its answer.
    RemoveOwnFile(folder, name);
    return details.status == kStatusNotFound ? Fetched::Missing : Fetched::Failed;
}

bool HasVersionField(const std::string& comment, const std::string& version) {
    std::istringstream fields(comment);
    for (std::string field; fields >> field;) {
        if (field == kVersionCommentPrefix + version) {
            return true;
        }
    }
    return false;
}

bool FitsTheIndex(const ChecksumList& list, const OwnFolder& packageFolder,
                  const PackageIndex& published) {
    for (const PackagePart& part : published.m_parts) {
        if (list.Find(part.m_name) == nullptr) {
            return false;
        }
    }
    Sha256 fetched;
    const Sha256Digest* index = list.Find(kIndexFileName);
    return list.Find(kInstallerFileName) != nullptr && index != nullptr &&
           HashOwnFile(packageFolder, kIndexFileName, fetched) && fetched.Digest() == *index;
}

ChecksumsFound Refuse(const OwnFolder& versionFolder, const std::string& message) {
    RemoveOwnFile(versionFolder, kChecksumsFileName);
    RemoveOwnFile(versionFolder, kSignatureFileName);
    ShowMessageBox(message);
    return ChecksumsFound::Refused;
}

}  // namespace

ChecksumsFound FetchChecksums(DownloadState& state, const OwnFolder& packageFolder,
                              const OwnFolder& versionFolder, const PackageIndex& published,
                              ChecksumList& list) {
    const bool keyBuiltIn = !state.m_strPublicKey.empty();
    std::string error;
    switch (FetchFileOfThePackage(state, versionFolder, kChecksumsFileName, kMaxChecksumsBytes,
                                  error)) {
        case Fetched::Failed:
            return Refuse(versionFolder, ConnectionAdvice(error));
        case Fetched::Missing:
            if (keyBuiltIn) {
                return Refuse(versionFolder, text::kNotSigned);
            }
            RemoveOwnFile(versionFolder, kSignatureFileName);
            return ChecksumsFound::None;
        case Fetched::Yes:
            break;
    }
    std::string sums;
    if (!ReadOwnFile(versionFolder, kChecksumsFileName, kMaxChecksumsBytes, sums)) {
        return Refuse(versionFolder, text::kBadChecksumList);
    }
    if (keyBuiltIn) {
        switch (FetchFileOfThePackage(state, versionFolder, kSignatureFileName, kMaxSignatureBytes,
                                      error)) {
            case Fetched::Failed:
                return Refuse(versionFolder, ConnectionAdvice(error));
            case Fetched::Missing:
                return Refuse(versionFolder, text::kNotSigned);
            case Fetched::Yes:
                break;
        }
        MinisignPublicKey key;
        std::string signature;
        std::string comment;
        if (!ParseMinisignPublicKey(state.m_strPublicKey, key) ||
            !ReadOwnFile(versionFolder, kSignatureFileName, kMaxSignatureBytes, signature) ||
            VerifyMinisign(key, signature, sums, comment) != SignatureCheck::Valid ||
            !HasVersionField(comment, published.GetProductVersion())) {
            return Refuse(versionFolder, text::kBadSignature);
        }
    }
    if (!ChecksumList::Parse(sums, list) || !FitsTheIndex(list, packageFolder, published)) {
        return Refuse(versionFolder, text::kBadChecksumList);
    }
    return ChecksumsFound::Present;
}

bool TakeDigests(const ChecksumList& list, DownloadState& state) {
    std::vector<Sha256Digest> digests;
    digests.reserve(state.m_index.m_parts.size());
    for (const PackagePart& part : state.m_index.m_parts) {
        const Sha256Digest* digest = list.Find(part.m_name);
        if (digest == nullptr) {
            return false;
        }
        digests.push_back(*digest);
    }
    const Sha256Digest* installer = list.Find(kInstallerFileName);
    if (installer == nullptr) {
        return false;
    }
    state.m_partDigests = std::move(digests);
    state.m_installerDigest = *installer;
    return true;
}
