#include "support/test_key.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <vector>

#include "catalogue/checksum_list.h"
#include "catalogue/signed_versions.h"
#include "support/temp_dir.h"

TestKey::TestKey() {
    RAND_bytes(secret.keyId.data(), static_cast<int>(secret.keyId.size()));
    RAND_bytes(secret.seed.data(), static_cast<int>(secret.seed.size()));
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, secret.seed.data(),
                                                 secret.seed.size());
    std::size_t size = secret.publicKey.size();
    EVP_PKEY_get_raw_public_key(key, secret.publicKey.data(), &size);
    EVP_PKEY_free(key);
    std::vector<unsigned char> raw = {'E', 'd'};
    raw.insert(raw.end(), secret.keyId.begin(), secret.keyId.end());
    raw.insert(raw.end(), secret.publicKey.begin(), secret.publicKey.end());
    publicLine.assign(4 * ((raw.size() + 2) / 3) + 1, '\0');
    publicLine.resize(static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(publicLine.data()), raw.data(),
                        static_cast<int>(raw.size()))));
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
        const std::string signed_ =
            comment.empty() ? ReleaseComment(PackageInfoFor(id).publisherName, package.version)
                            : comment;
        WriteFile(folder + "SHA256SUMS.minisig", SignMinisign(key->secret, list.Text(), signed_));
    }
}
