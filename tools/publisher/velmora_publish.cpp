// The maker's side: splits an installer into numbered parts and writes the
// package index and the site list, so that any static web server can serve
// the tree:
//
//   OUTPUT/download/sites                 the download host, without a line break
//   OUTPUT/download/<package>/pkgindex.txt
//   OUTPUT/download/<package>/velmora.001 ...
//
//   OUTPUT/download/<package>/SHA256SUMS      checksums of the parts, the
//                                             installer and the index
//   OUTPUT/download/<package>/SHA256SUMS.minisig   with --sign: its signature
//
// velmora-publish --version TEXT [--package main|tobrin|vessa]
//                 [--part-size BYTES] [--site HOST] [--sign SECRET_KEY]
//                 INSTALLER OUTPUT
// velmora-publish --help | --version
//
// SECRET_KEY is a minisign secret key file (minisign -G); when it is
// encrypted, its password is read from the first line of standard input.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "catalogue/checksum_list.h"
#include "catalogue/minisign.h"
#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "catalogue/package_table.h"
#include "catalogue/server_names.h"
#include "catalogue/signed_versions.h"
#include "framework/build_config.h"
#include "framework/file_hash.h"
#include "framework/file_utils.h"
#include "framework/sha256.h"
#include "framework/texts.h"

namespace {

constexpr long long kDefaultPartSize = 8 * 1024 * 1024;

std::string UsageText() {
    std::string names;
    for (PackageId id = kPackageMain; id < kPackageCount; ++id) {
        names += std::string(id == kPackageMain ? "" : "|") + PackageInfoFor(id).publisherName;
    }
    return "usage: velmora-publish --version TEXT [--package " + names +
           "]\n"
           "                       [--part-size BYTES] [--site HOST] [--sign SECRET_KEY]\n"
           "                       INSTALLER OUTPUT\n"
           "       velmora-publish --help | --version\n";
}

int Usage(const char* problem) {
    std::fprintf(stderr, "velmora-publish: %s\n%s", problem, UsageText().c_str());
    return 2;
}

int Help() {
    std::printf(
        "%s\n"
        "Splits INSTALLER into numbered parts and writes what a web server publishes\n"
        "for Velmora Quindle: OUTPUT/download/sites (the download host) and, in the\n"
        "package's folder below OUTPUT/download, pkgindex.txt, the parts and\n"
        "SHA256SUMS, the checksums of the parts, the installer and the index.\n"
        "\n"
        "  --version TEXT      the package's version, which names its folder on the\n"
        "                      users' disks\n"
        "  --package NAME      the package: main (the default), tobrin or vessa\n"
        "  --part-size BYTES   the size of every part but the last (default %lld)\n"
        "  --site HOST         the host the site list names\n"
        "                      (default %s)\n"
        "  --sign SECRET_KEY   also sign SHA256SUMS with this minisign secret key; the\n"
        "                      password of an encrypted key is read from standard input\n"
        "  --help              show this help and exit\n"
        "  --version           without a value: show the publisher's version and exit\n",
        UsageText().c_str(), kDefaultPartSize, config::kPrimaryDownloadHost);
    return 0;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "velmora-publish: %s\n", what.c_str());
    return 1;
}

// Copies `length` bytes of `in` from `offset` into the new file `path`.
bool WritePart(int in, off_t offset, off_t length, const std::string& path) {
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        return false;
    }
    bool ok = true;
    while (ok && length > 0) {
        const ssize_t n =
            copy_file_range(in, &offset, out, nullptr, static_cast<size_t>(length), 0);
        if (n > 0) {
            length -= n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // Not offered between these files (or the input ended early): by hand.
        char buffer[1 << 16];
        const ssize_t r =
            pread(in, buffer, static_cast<size_t>(std::min<off_t>(length, sizeof buffer)), offset);
        ok = r > 0 && write(out, buffer, static_cast<size_t>(r)) == r;
        offset += r > 0 ? r : 0;
        length -= r > 0 ? r : 0;
    }
    return close(out) == 0 && ok;
}

bool ReadText(const std::string& path, std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    content.clear();
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        content.append(buffer, n);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Users order releases by their signing time. One signed earlier than the
// signature already in the output folder would be refused as a rollback by
// everyone who has that one: the clock must be wrong, so nothing is
// signed. A clock far ahead of the last signature may be wrong the other
// way, which no user could undo: that is said.
constexpr std::int64_t kFarAheadSeconds = 180LL * 24 * 60 * 60;

bool SignsAfterThePrevious(const std::string& folder, std::int64_t now) {
    std::string previous;
    const std::string path = folder + "/" + kSignatureFileName;
    if (!ReadText(path, previous)) {
        return true;
    }
    const std::string label = "trusted comment: ";
    const std::size_t at = previous.find("\n" + label);
    SignedRelease release;
    if (at == std::string::npos) {
        return true;
    }
    const std::size_t start = at + 1 + label.size();
    const std::string comment = previous.substr(start, previous.find('\n', start) - start);
    if (!ParseReleaseComment(comment, release)) {
        return true;
    }
    if (now < release.signedAt) {
        std::fprintf(stderr,
                     "velmora-publish: this computer's clock (%lld) is earlier than the "
                     "signature in %s (%lld): users who have that release would refuse this one "
                     "as older. Set the clock right; nothing was signed.\n",
                     static_cast<long long>(now), path.c_str(),
                     static_cast<long long>(release.signedAt));
        return false;
    }
    if (now - release.signedAt > kFarAheadSeconds) {
        std::fprintf(stderr,
                     "velmora-publish: warning: this computer's clock is more than 180 days "
                     "after the signature in %s; if the clock is wrong, users will refuse every "
                     "release signed before that time.\n",
                     path.c_str());
    }
    return true;
}

bool HashFile(const std::string& path, Sha256Digest& digest) {
    std::string name;
    Sha256 hash;
    const bool ok = HashOwnFile(OwnFolder::OpenParentOf(path, name), name, hash);
    digest = hash.Digest();
    return ok;
}

bool WriteText(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string version;
    std::string site = config::kPrimaryDownloadHost;
    PackageId package = kPackageMain;
    long long partSize = kDefaultPartSize;
    std::string installer;
    std::string output;
    std::string secretKey;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            return Help();
        }
        // Alone, --version asks for the tool's own; after other arguments
        // it is the package's, and one left without a value is an error,
        // never a publication reported as done.
        if (arg == "--version" && argc == 2) {
            std::printf("velmora-publish (%s) %s\n", text::kAppTitle, config::kProgramVersion);
            return 0;
        }
        if (arg == "--version" && !hasValue) {
            return Usage("--version needs the package's version");
        }
        if (arg == "--version") {
            version = argv[++i];
        } else if (arg == "--site" && hasValue) {
            site = argv[++i];
        } else if (arg == "--sign" && hasValue) {
            secretKey = argv[++i];
        } else if (arg == "--package" && hasValue) {
            const std::string name = argv[++i];
            const PackageInfo* info = PackageForPublisherName(name);
            if (info == nullptr) {
                return Usage(("unknown package \"" + name + "\"").c_str());
            }
            package = info->id;
        } else if (arg == "--part-size" && hasValue) {
            char* end = nullptr;
            errno = 0;
            partSize = std::strtoll(argv[++i], &end, 10);
            if (errno != 0 || end == argv[i] || *end != '\0' || partSize <= 0 ||
                partSize > INT_MAX) {
                return Usage("the part size must be a whole number of bytes from 1 to 2147483647");
            }
        } else if (arg.rfind("--", 0) == 0) {
            return Usage(("unknown or incomplete option " + arg).c_str());
        } else if (installer.empty()) {
            installer = arg;
        } else if (output.empty()) {
            output = arg;
        } else {
            return Usage("too many arguments");
        }
    }
    if (installer.empty() || output.empty()) {
        return Usage("an installer file and an output folder are needed");
    }
    // What becomes a folder name on the users' disks, Windows' included,
    // and what the program takes as a version.
    if (!IsPortableFileName(version) || IsReservedFileName(version)) {
        return Usage(
            "--version must be a plain name that makes a folder on every system: UTF-8, not "
            "empty, not beginning with \".\", no control characters, none of /\\<>:\"|?*, no "
            "trailing dot or blank, not a device name such as CON or NUL, not one of the "
            "program's own file names");
    }
    if (site.empty() || site.find_first_of(" \t\r\n/") != std::string::npos) {
        return Usage("--site must be a host name");
    }

    // The key is read first: a wrong password should not leave half a
    // package behind.
    MinisignSecretKey key;
    if (!secretKey.empty()) {
        std::string keyFile;
        if (!ReadText(secretKey, keyFile)) {
            return Fail("cannot read the secret key " + secretKey + ": " + SystemErrorText());
        }
        std::string password;
        if (IsEncryptedMinisignSecretKey(keyFile)) {
            if (isatty(STDIN_FILENO)) {
                std::fprintf(stderr, "Password for %s: ", secretKey.c_str());
            }
            char line[1024] = "";
            if (std::fgets(line, sizeof line, stdin) != nullptr) {
                password = line;
                password.erase(password.find_last_not_of("\r\n") + 1);
            }
        }
        switch (ParseMinisignSecretKey(keyFile, password, key)) {
            case SecretKeyLoad::Loaded:
                break;
            case SecretKeyLoad::Malformed:
                return Fail(secretKey + " is not a minisign secret key");
            case SecretKeyLoad::WrongPassword:
                return Fail("wrong password for " + secretKey);
        }
    }

    const int in = open(installer.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        return Fail("cannot read the installer " + installer + ": " + SystemErrorText());
    }
    if (st.st_size == 0) {
        return Fail("the installer " + installer + " is empty");
    }
    const std::string folder = output + ServerFolderForPackage(package);
    const std::int64_t signedAt = std::time(nullptr);
    if (!secretKey.empty() && !SignsAfterThePrevious(folder, signedAt)) {
        close(in);
        return 1;
    }
    MakeDirectoryTree(folder + "/");
    if (!FileExists(folder)) {
        return Fail("cannot create " + folder);
    }

    const long long count = (st.st_size + partSize - 1) / partSize;
    const std::size_t width = std::max<std::size_t>(3, std::to_string(count).size());
    PackageIndex index;
    index.m_productVersion = version;
    index.m_partSize = static_cast<std::int32_t>(partSize);
    for (long long i = 0; i < count; ++i) {
        std::string number = std::to_string(i + 1);
        const std::string name =
            "velmora." + std::string(width - std::min<std::size_t>(width, number.size()), '0') +
            number;
        const off_t offset = static_cast<off_t>(i * partSize);
        const off_t length = std::min<off_t>(static_cast<off_t>(partSize), st.st_size - offset);
        if (!WritePart(in, offset, length, folder + "/" + name)) {
            return Fail("cannot write " + folder + "/" + name + ": " + SystemErrorText());
        }
        index.m_parts.push_back({name, 0});
    }
    close(in);
    if (!index.SaveAs(folder + "/" + kIndexFileName)) {
        return Fail("cannot write " + folder + "/" + kIndexFileName + ": " + SystemErrorText());
    }
    // The checksums: every part, the installer they join to, and the index,
    // so that the index (and its version) is bound to them.
    ChecksumList checksums;
    Sha256Digest digest{};
    for (const PackagePart& part : index.m_parts) {
        if (!HashFile(folder + "/" + part.m_name, digest)) {
            return Fail("cannot read " + folder + "/" + part.m_name + ": " + SystemErrorText());
        }
        checksums.Add(part.m_name, digest);
    }
    if (!HashFile(installer, digest)) {
        return Fail("cannot read the installer " + installer + ": " + SystemErrorText());
    }
    checksums.Add(kInstallerFileName, digest);
    if (!HashFile(folder + "/" + kIndexFileName, digest)) {
        return Fail("cannot read " + folder + "/" + kIndexFileName + ": " + SystemErrorText());
    }
    checksums.Add(kIndexFileName, digest);
    const std::string sums = checksums.Text();
    if (!WriteText(folder + "/" + kChecksumsFileName, sums)) {
        return Fail("cannot write " + folder + "/" + kChecksumsFileName + ": " + SystemErrorText());
    }
    if (!secretKey.empty()) {
        const std::string signature = SignMinisign(
            key, sums, ReleaseComment({PackageInfoFor(package).publisherName, signedAt, version}));
        if (signature.empty() || !WriteText(folder + "/" + kSignatureFileName, signature)) {
            return Fail("cannot sign " + folder + "/" + kChecksumsFileName);
        }
    }
    // Without a line break: the program takes the first line as it stands.
    if (!WriteText(output + kSiteListRemotePath, site)) {
        return Fail("cannot write " + output + kSiteListRemotePath + ": " + SystemErrorText());
    }
    std::printf("%s: %lld parts of %lld bytes, version %s\n", folder.c_str(), count, partSize,
                version.c_str());
    return 0;
}
