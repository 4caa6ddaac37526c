#include "catalogue/minisign.h"

#include <gcrypt.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "catalogue/base64.h"
#include "framework/sha256.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kUntrusted[] = "untrusted comment: ";
constexpr char kTrusted[] = "trusted comment: ";
constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kKeyNumBytes = 8 + 64 + 32;  // key id, secret key, checksum

struct SexpDeleter {
    void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpDeleter>;

// An s-expression from a template of libgcrypt's; null on failure.
template <typename... Args>
Sexp BuildSexp(const char* format, Args... args) {
    gcry_sexp_t sexp = nullptr;
    if (gcry_sexp_build(&sexp, nullptr, format, args...) != 0) {
        return nullptr;
    }
    return Sexp(sexp);
}

Sexp Ed25519PrivateKey(const Ed25519Key& seed) {
    return BuildSexp("(private-key (ecc (curve Ed25519) (flags eddsa) (d %b)))",
                     static_cast<int>(seed.size()), seed.data());
}

// What libgcrypt signs and verifies: the message itself, as pure Ed25519 does.
Sexp Ed25519Data(const void* message, std::size_t length) {
    if (length > INT_MAX) {
        return nullptr;
    }
    return BuildSexp("(data (flags eddsa) (hash-algo sha512) (value %b))", static_cast<int>(length),
                     message);
}

// The value of the token `name` in `sexp`, which must be `size` bytes long.
bool TokenBytes(gcry_sexp_t sexp, const char* name, std::uint8_t* out, std::size_t size) {
    const Sexp token(gcry_sexp_find_token(sexp, name, 0));
    std::size_t length = 0;
    const char* data = token ? gcry_sexp_nth_data(token.get(), 1, &length) : nullptr;
    if (data == nullptr || length != size) {
        return false;
    }
    std::memcpy(out, data, size);
    return true;
}

// S below the group order L, little-endian as in the signature: RFC 8032
// refuses any other, so that a signature cannot be altered and stay valid.
// libgcrypt 1.10 takes S + L as well, so the check is ours.
bool IsCanonicalScalar(const std::uint8_t* s) {
    static constexpr std::uint8_t kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58,
                                                0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};
    for (int i = 31; i >= 0; --i) {
        if (s[i] != kOrder[i]) {
            return s[i] < kOrder[i];
        }
    }
    return false;
}

// The lines of a small text file, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

Bytes Blake2b512(const std::string& message) {
    EnsureCryptoLibrary();
    Bytes digest(gcry_md_get_algo_dlen(GCRY_MD_BLAKE2B_512));
    gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, digest.data(), message.data(), message.size());
    return digest;
}

std::uint64_t LittleEndian(const std::uint8_t* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

// scrypt's cost from libsodium's limits, as crypto_pwhash_scryptsalsa208sha256
// picks it, so that keys made by minisign open here. Its block size r is 8,
// as libgcrypt's scrypt fixes it.
constexpr std::uint64_t kScryptBlockSize = 8;

void ScryptParameters(std::uint64_t opsLimit, std::uint64_t memLimit, std::uint64_t& n,
                      std::uint64_t& p) {
    opsLimit = std::max<std::uint64_t>(opsLimit, 32768);
    const std::uint64_t r = kScryptBlockSize;
    int nLog2 = 1;
    if (opsLimit < memLimit / 32) {
        p = 1;
        const std::uint64_t maxN = opsLimit / (r * 4);
        for (; nLog2 < 63 && (std::uint64_t{1} << nLog2) <= maxN / 2; ++nLog2) {
        }
    } else {
        const std::uint64_t maxN = memLimit / (r * 128);
        for (; nLog2 < 63 && (std::uint64_t{1} << nLog2) <= maxN / 2; ++nLog2) {
        }
        const std::uint64_t maxRp = std::min<std::uint64_t>((opsLimit / 4) >> nLog2, 0x3fffffff);
        p = maxRp / r;
    }
    n = std::uint64_t{1} << nLog2;
}

}  // namespace

bool ParseMinisignPublicKey(const std::string& text, MinisignPublicKey& key) {
    std::string line;
    for (const std::string& candidate : Lines(text)) {
        if (!candidate.empty() && candidate.rfind(kUntrusted, 0) != 0) {
            line = candidate;
            break;
        }
    }
    Bytes bytes;
    if (!DecodeBase64(line, bytes) || bytes.size() != 2 + 8 + 32 || bytes[0] != 'E' ||
        bytes[1] != 'd') {
        return false;
    }
    std::memcpy(key.keyId.data(), bytes.data() + 2, 8);
    std::memcpy(key.key.data(), bytes.data() + 10, 32);
    return true;
}

struct MinisignMessage::Context {
    gcry_md_hd_t blake2b = nullptr;
    bool ok = false;

    Context() {
        EnsureCryptoLibrary();
        ok = gcry_md_open(&blake2b, GCRY_MD_BLAKE2B_512, 0) == 0;
    }
    ~Context() { gcry_md_close(blake2b); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

MinisignMessage::MinisignMessage() : m_context(std::make_unique<Context>()) {}

MinisignMessage::~MinisignMessage() = default;

void MinisignMessage::Update(const void* data, std::size_t length) {
    if (m_context->ok) {
        gcry_md_write(m_context->blake2b, data, length);
    }
    if (m_kept && m_bytes.size() + length <= kMaxUnhashedSignedBytes) {
        m_bytes.append(static_cast<const char*>(data), length);
    } else {
        m_kept = false;
        std::string().swap(m_bytes);
    }
}

std::string MinisignMessage::Prehash() const {
    // Reading finalises the state: read a copy.
    gcry_md_hd_t copy = nullptr;
    if (!m_context->ok || gcry_md_copy(&copy, m_context->blake2b) != 0) {
        return {};
    }
    const unsigned char* digest = gcry_md_read(copy, GCRY_MD_BLAKE2B_512);
    std::string prehash;
    if (digest != nullptr) {
        prehash.assign(reinterpret_cast<const char*>(digest),
                       gcry_md_get_algo_dlen(GCRY_MD_BLAKE2B_512));
    }
    gcry_md_close(copy);
    return prehash;
}

SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const std::string& signatureFile,
                              const std::string& message, std::string& trustedComment) {
    MinisignMessage fed;
    fed.Update(message.data(), message.size());
    return VerifyMinisign(key, signatureFile, fed, trustedComment);
}

SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const std::string& signatureFile,
                              const MinisignMessage& message, std::string& trustedComment) {
    const std::vector<std::string> lines = Lines(signatureFile);
    Bytes signature;
    Bytes global;
    if (lines.size() < 4 || lines[0].rfind(kUntrusted, 0) != 0 ||
        lines[2].rfind(kTrusted, 0) != 0 || !DecodeBase64(lines[1], signature) ||
        signature.size() != 2 + 8 + kSignatureBytes || !DecodeBase64(lines[3], global) ||
        global.size() != kSignatureBytes || signature[0] != 'E' ||
        (signature[1] != 'D' && signature[1] != 'd')) {
        return SignatureCheck::Malformed;
    }
    if (std::memcmp(signature.data() + 2, key.keyId.data(), 8) != 0) {
        return SignatureCheck::OtherKey;
    }
    // "ED" signs the BLAKE2b-512 hash of the file, "Ed" the file itself.
    const std::string prehash = signature[1] == 'D' ? message.Prehash() : std::string();
    const std::string* signedText = signature[1] == 'D' ? &prehash : message.Bytes();
    if (signedText == nullptr || (signature[1] == 'D' && signedText->empty())) {
        return SignatureCheck::Invalid;
    }
    const Bytes signedBytes(signedText->begin(), signedText->end());
    const std::string comment = lines[2].substr(std::strlen(kTrusted));
    Bytes globalMessage(signature.begin() + 10, signature.end());
    globalMessage.insert(globalMessage.end(), comment.begin(), comment.end());
    if (!Ed25519Verify(key.key, signature.data() + 10, signedBytes.data(), signedBytes.size()) ||
        !Ed25519Verify(key.key, global.data(), globalMessage.data(), globalMessage.size())) {
        return SignatureCheck::Invalid;
    }
    trustedComment = comment;
    return SignatureCheck::Valid;
}

namespace {

// The secret key file's decoded bytes, or empty.
Bytes SecretKeyBytes(const std::string& file) {
    const std::vector<std::string> lines = Lines(file);
    Bytes bytes;
    constexpr std::size_t kSize = 2 + 2 + 2 + 32 + 8 + 8 + kKeyNumBytes;
    if (lines.size() < 2 || !DecodeBase64(lines[1], bytes) || bytes.size() != kSize ||
        bytes[0] != 'E' || bytes[1] != 'd') {
        return {};
    }
    return bytes;
}

}  // namespace

bool IsEncryptedMinisignSecretKey(const std::string& file) {
    const Bytes bytes = SecretKeyBytes(file);
    return bytes.size() > 4 && bytes[2] == 'S' && bytes[3] == 'c';
}

SecretKeyLoad ParseMinisignSecretKey(const std::string& file, const std::string& password,
                                     MinisignSecretKey& key) {
    Bytes bytes = SecretKeyBytes(file);
    if (bytes.empty()) {
        return SecretKeyLoad::Malformed;
    }
    const std::uint8_t* salt = bytes.data() + 6;
    std::uint8_t* keyNum = bytes.data() + 6 + 32 + 8 + 8;
    if (bytes[2] == 'S' && bytes[3] == 'c') {
        EnsureCryptoLibrary();
        std::uint64_t n = 0;
        std::uint64_t p = 0;
        ScryptParameters(LittleEndian(bytes.data() + 38), LittleEndian(bytes.data() + 46), n, p);
        // libgcrypt takes N as an int and p as an unsigned long; a key that
        // asks for more is not one minisign makes.
        if (n > INT_MAX || p == 0 || p > ULONG_MAX) {
            return SecretKeyLoad::Malformed;
        }
        Bytes stream(kKeyNumBytes);
        if (gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_SCRYPT, static_cast<int>(n),
                            salt, 32, static_cast<unsigned long>(p), stream.size(),
                            stream.data()) != 0) {
            return SecretKeyLoad::Malformed;
        }
        for (std::size_t i = 0; i < kKeyNumBytes; ++i) {
            keyNum[i] ^= stream[i];
        }
    } else if (bytes[2] != 0 || bytes[3] != 0) {
        return SecretKeyLoad::Malformed;
    }
    std::memcpy(key.keyId.data(), keyNum, 8);
    std::memcpy(key.seed.data(), keyNum + 8, 32);
    std::memcpy(key.publicKey.data(), keyNum + 8 + 32, 32);
    // The secret key holds its public half: a wrong password gives a seed
    // that does not lead to it.
    Ed25519Key publicKey{};
    if (!Ed25519PublicKey(key.seed, publicKey) || publicKey != key.publicKey) {
        return SecretKeyLoad::WrongPassword;
    }
    return SecretKeyLoad::Loaded;
}

std::string SignMinisign(const MinisignSecretKey& key, const std::string& message,
                         const std::string& trustedComment) {
    const Bytes prehash = Blake2b512(message);
    Ed25519Signature signature{};
    if (!Ed25519Sign(key.seed, prehash.data(), prehash.size(), signature)) {
        return {};
    }
    Bytes line = {'E', 'D'};
    line.insert(line.end(), key.keyId.begin(), key.keyId.end());
    line.insert(line.end(), signature.begin(), signature.end());
    Bytes globalMessage(signature.begin(), signature.end());
    globalMessage.insert(globalMessage.end(), trustedComment.begin(), trustedComment.end());
    Ed25519Signature global{};
    if (!Ed25519Sign(key.seed, globalMessage.data(), globalMessage.size(), global)) {
        return {};
    }
    return std::string(kUntrusted) + "signature from velmora-publish\n" +
           EncodeBase64(line.data(), line.size()) + "\n" + kTrusted + trustedComment + "\n" +
           EncodeBase64(global.data(), global.size()) + "\n";
}

bool Ed25519PublicKey(const Ed25519Key& seed, Ed25519Key& publicKey) {
    EnsureCryptoLibrary();
    const Sexp secret = Ed25519PrivateKey(seed);
    gcry_ctx_t context = nullptr;
    if (!secret || gcry_mpi_ec_new(&context, secret.get(), nullptr) != 0) {
        return false;
    }
    // With only the secret half given, libgcrypt computes the public point
    // from the seed as RFC 8032 does, and "@eddsa" gives its 32-byte encoding.
    gcry_mpi_t point = gcry_mpi_ec_get_mpi("q@eddsa", context, 1);
    unsigned int bits = 0;
    const void* encoded = point != nullptr ? gcry_mpi_get_opaque(point, &bits) : nullptr;
    const bool got = encoded != nullptr && bits == 8 * publicKey.size();
    if (got) {
        std::memcpy(publicKey.data(), encoded, publicKey.size());
    }
    gcry_mpi_release(point);
    gcry_ctx_release(context);
    return got;
}

bool Ed25519Sign(const Ed25519Key& seed, const void* message, std::size_t length,
                 Ed25519Signature& signature) {
    EnsureCryptoLibrary();
    const Sexp secret = Ed25519PrivateKey(seed);
    const Sexp data = Ed25519Data(message, length);
    gcry_sexp_t signed_ = nullptr;
    if (!secret || !data || gcry_pk_sign(&signed_, data.get(), secret.get()) != 0) {
        return false;
    }
    const Sexp result(signed_);
    return TokenBytes(result.get(), "r", signature.data(), 32) &&
           TokenBytes(result.get(), "s", signature.data() + 32, 32);
}

bool Ed25519Verify(const Ed25519Key& publicKey, const std::uint8_t* signature, const void* message,
                   std::size_t length) {
    if (!IsCanonicalScalar(signature + 32)) {
        return false;
    }
    EnsureCryptoLibrary();
    const Sexp key = BuildSexp("(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                               static_cast<int>(publicKey.size()), publicKey.data());
    const Sexp sig =
        BuildSexp("(sig-val (eddsa (r %b) (s %b)))", 32, signature, 32, signature + 32);
    const Sexp data = Ed25519Data(message, length);
    return key && sig && data && gcry_pk_verify(sig.get(), data.get(), key.get()) == 0;
}
