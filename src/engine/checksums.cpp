#include "engine/checksums.h"

#include <chrono>
#include <cstdint>

#include "catalogue/checksum_list.h"
#include "catalogue/minisign.h"
#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "catalogue/package_table.h"
#include "catalogue/signed_versions.h"
#include "engine/download_state.h"
#include "framework/file_hash.h"
#include "framework/own_files.h"
#include "framework/user_report.h"

namespace {

constexpr long kStatusNotFound = 404;

enum class Fetched { Yes, Missing, Failed };

Fetched FetchFileOfThePackage(DownloadState& state, const OwnFolder& folder, const char* name,
                              long long maxBytes, Failure& error) {
    FetchDetails details{.connection = &state.m_connection};
    const Result<FetchLimits> limits = state.PreparationLimits(maxBytes);
    if (!limits) {
        error = limits.Error();
        RemoveOwnFile(folder, name);
        return Fetched::Failed;
    }
    const Outcome fetched = FetchFile(
        state.m_strHost, kHttpPort, state.m_strServerFolder + "/" + name, LocalFile(folder, name),
        FileMode::AsSent, state.GetProxy(), nullptr, kProgressDivisor, nullptr, *limits, &details);
    if (fetched) {
        return Fetched::Yes;
    }
    error = fetched.Error();
    // What another server sent before stays no longer than its answer.
    RemoveOwnFile(folder, name);
    return details.status == kStatusNotFound ? Fetched::Missing : Fetched::Failed;
}

// Reads the list a piece at a time, feeding the signature's message as it
// goes: however large the file, only the parsed list is held.
bool ReadChecksums(const OwnFolder& folder, long long maxBytes, MinisignMessage& signedMessage,
                   ChecksumList& list) {
    list = {};
    const FileHandle file = OpenOwnFileForReading(folder, kChecksumsFileName);
    if (!file.IsOpen()) {
        return false;
    }
    std::string line;
    char buffer[64 * 1024];
    long long total = 0;
    bool ok = true;
    for (;;) {
        std::size_t length = 0;
        if (!ReadSome(file, buffer, sizeof buffer, length)) {
            ok = false;
            break;
        }
        if (length == 0) {
            break;
        }
        total += static_cast<long long>(length);
        signedMessage.Update(buffer, length);
        for (std::size_t i = 0; ok && i < length; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                ok = line.size() < ChecksumList::kMaxLineBytes;
                continue;
            }
            ok = list.ParseLine(line);
            line.clear();
        }
        if (!ok || total > maxBytes) {
            ok = false;
            break;
        }
    }
    // Every line ends with a line feed.
    return ok && line.empty();
}

bool NamesThisRelease(const std::string& comment, const std::string& version,
                      SignedRelease& release) {
    return ParseReleaseComment(comment, release) &&
           release.package == PackageInfoFor(g_currentPackage).publisherName &&
           release.version == version;
}

std::int64_t UnixSecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
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

void RemoveChecksumFiles(const OwnFolder& folder) {
    RemoveOwnFile(folder, kChecksumsFileName);
    RemoveOwnFile(folder, kSignatureFileName);
}

ChecksumsFound Refuse(const OwnFolder& packageFolder, const Failure& failure) {
    RemoveChecksumFiles(packageFolder);
    Report(failure);
    return ChecksumsFound::Refused;
}

ChecksumsFound Refuse(const OwnFolder& packageFolder, FailureKind kind) {
    return Refuse(packageFolder, Failure(kind));
}

Failure CannotFetch(const Failure& why) {
    return Failure::Wrapping(FailureKind::CannotFetchPackageFile, why);
}

}  // namespace

ChecksumsFound FetchChecksums(DownloadState& state, const OwnFolder& packageFolder,
                              const PackageIndex& published, ChecksumList& list,
                              SignedRelease& release) {
    const bool keyBuiltIn = !state.m_strPublicKey.empty();
    const std::string version = published.GetProductVersion();
    const long long maxBytes = ChecksumList::MaxBytesFor(published);
    Failure error;
    switch (FetchFileOfThePackage(state, packageFolder, kChecksumsFileName, maxBytes, error)) {
        case Fetched::Failed:
            return Refuse(packageFolder, CannotFetch(error));
        case Fetched::Missing:
            if (keyBuiltIn) {
                return Refuse(packageFolder, FailureKind::NotSigned);
            }
            RemoveChecksumFiles(packageFolder);
            return ChecksumsFound::None;
        case Fetched::Yes:
            break;
    }
    MinisignMessage signedMessage;
    if (!ReadChecksums(packageFolder, maxBytes, signedMessage, list)) {
        return Refuse(packageFolder, FailureKind::BadChecksumList);
    }
    if (keyBuiltIn) {
        switch (FetchFileOfThePackage(state, packageFolder, kSignatureFileName, kMaxSignatureBytes,
                                      error)) {
            case Fetched::Failed:
                return Refuse(packageFolder, CannotFetch(error));
            case Fetched::Missing:
                return Refuse(packageFolder, FailureKind::NotSigned);
            case Fetched::Yes:
                break;
        }
        MinisignPublicKey key;
        std::string signature;
        std::string comment;
        if (!ParseMinisignPublicKey(state.m_strPublicKey, key) ||
            !ReadOwnFile(packageFolder, kSignatureFileName, kMaxSignatureBytes, signature) ||
            VerifyMinisign(key, signature, signedMessage, comment) != SignatureCheck::Valid ||
            !NamesThisRelease(comment, version, release)) {
            return Refuse(packageFolder, FailureKind::BadSignature);
        }
        SignedVersions accepted;
        if (const Outcome read = accepted.Read(packageFolder); !read) {
            return Refuse(packageFolder, read.Error());
        }
        if (const Outcome taken = accepted.Judge(release, UnixSecondsNow()); !taken) {
            return Refuse(packageFolder, taken.Error());
        }
    } else {
        RemoveOwnFile(packageFolder, kSignatureFileName);
    }
    if (!FitsTheIndex(list, packageFolder, published)) {
        return Refuse(packageFolder, FailureKind::BadChecksumList);
    }
    return ChecksumsFound::Present;
}

bool KeepChecksums(const DownloadState& state, const OwnFolder& packageFolder,
                   const OwnFolder& versionFolder, ChecksumsFound found,
                   const SignedRelease& release) {
    if (found != ChecksumsFound::Present) {
        // No list now: none from before may pass for this one.
        RemoveChecksumFiles(versionFolder);
        return true;
    }
    const bool keyBuiltIn = !state.m_strPublicKey.empty();
    bool moved = MoveOwnFile(packageFolder, versionFolder, kChecksumsFileName);
    if (keyBuiltIn) {
        moved = moved && MoveOwnFile(packageFolder, versionFolder, kSignatureFileName);
    } else {
        RemoveOwnFile(versionFolder, kSignatureFileName);
    }
    if (!moved) {
        RemoveChecksumFiles(packageFolder);
        Report(Failure::WithPath(FailureKind::CannotCreateFile,
                                 versionFolder.PathOf(kChecksumsFileName)));
        return false;
    }
    if (!keyBuiltIn) {
        return true;
    }
    SignedVersions accepted;
    if (!accepted.Read(packageFolder) || !accepted.Accept(packageFolder, release)) {
        Report(Failure::WithPath(FailureKind::CannotRecordRelease,
                                 packageFolder.PathOf(kSignedVersionsFileName)));
        return false;
    }
    return true;
}

bool ClearChangedParts(PackageIndex& resume, const OwnFolder& versionFolder,
                       const ChecksumList& list) {
    ChecksumList earlier;
    MinisignMessage unused;
    const bool hasEarlier =
        ReadChecksums(versionFolder, ChecksumList::MaxBytesFor(resume), unused, earlier);
    bool changed = false;
    for (PackagePart& part : resume.m_parts) {
        const Sha256Digest* now = list.Find(part.m_name);
        if (part.m_done == 0 || now == nullptr) {
            continue;
        }
        bool same = false;
        if (hasEarlier) {
            const Sha256Digest* before = earlier.Find(part.m_name);
            same = before != nullptr && *before == *now;
        } else {
            // Hashed once: from now on the list in the folder tells.
            Sha256 hash;
            same = HashOwnFile(versionFolder, part.m_name, hash) && hash.Digest() == *now;
        }
        if (!same) {
            part.m_done = 0;
            changed = true;
        }
    }
    if (!changed) {
        return true;
    }
    // Saved through a copy, so that the resume state's object holds no file
    // open afterwards: on Windows an open file cannot be replaced, and a
    // refit replaces it next.
    PackageIndex saved;
    saved.m_productVersion = resume.m_productVersion;
    saved.m_partSize = resume.m_partSize;
    saved.m_parts = resume.m_parts;
    if (!saved.SaveAs(versionFolder, kIndexFileName)) {
        Report(Failure::WithPath(FailureKind::ResumeStateNotWritten,
                                 versionFolder.PathOf(kIndexFileName)));
        return false;
    }
    return true;
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
