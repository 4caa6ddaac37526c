#pragma once

#include <string>

#include "catalogue/minisign.h"
#include "framework/sha256.h"
#include "support/package_fixture.h"

// A throwaway signing key, as `minisign -G` makes one.
struct TestKey {
    TestKey();

    MinisignSecretKey secret;
    std::string publicLine;  // what the build would name
};

Sha256Digest DigestOf(const std::string& bytes);

// Writes SHA256SUMS beside the published package's index, as the publisher
// does, and with a key its signature naming the package, the time now and
// the version (or `comment` when given).
void PublishChecksums(const std::string& root, const PublishedPackage& package, PackageId id,
                      const TestKey* key = nullptr, const std::string& comment = "");
