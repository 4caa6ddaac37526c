#include "support/test_key.h"

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "catalogue/base64.h"
#include "catalogue/checksum_list.h"
#include "catalogue/signed_versions.h"
#include "support/temp_dir.h"

TestKey::TestKey() {
    EnsureCryptoLibrary();
    gcry_randomize(secret.keyId.data(), secret.keyId.size(), GCRY_STRONG_RANDOM);
    gcry_randomize(secret.seed.data(), secret.seed.size(), GCRY_STRONG_RANDOM);
    if (!Ed25519PublicKey(secret.seed, secret.publicKey)) {
        ADD_FAILURE() << "no public key for the test key's seed";
    }
    std::vector<std::uint8_t> raw = {'E', 'd'};
    raw.insert(raw.end(), secret.keyId.begin(), secret.keyId.end());
    raw.insert(raw.end(), secret.publicKey.begin(), secret.publicKey.end());
    publicLine = EncodeBase64(raw.data(), raw.size());
}

Sha256Digest DigestOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Digest();
}

void PublishChecksums(const std::string& root, const PublishedPackage& package, PackageId id,
                      const TestKey* key, const std::string& comment) {
    const std::string folder = root + package.serverFolder + "/";
    ChecksumList list;
    for (std::size_t i = 0; i < package.partNames.size(); ++i) {
        list.Add(package.partNames[i], DigestOf(package.PartBytes(i)));
    }
    list.Add("velmora.exe", DigestOf(package.installer));
    list.Add("pkgindex.txt", DigestOf(ReadFile(folder + "pkgindex.txt")));
    WriteFile(folder + "SHA256SUMS", list.Text());
    if (key != nullptr) {
        const std::string signed_ = comment.empty()
                                        ? ReleaseComment({PackageInfoFor(id).publisherName,
                                                          std::time(nullptr), package.version})
                                        : comment;
        WriteFile(folder + "SHA256SUMS.minisig", SignMinisign(key->secret, list.Text(), signed_));
    }
}
