#include "catalogue/minisign.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kUntrusted[] = "untrusted comment: ";
constexpr char kTrusted[] = "trusted comment: ";
constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kKeyNumBytes = 8 + 64 + 32;  // key id, secret key, checksum

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;

bool DecodeBase64(const std::string& text, Bytes& bytes) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    bytes.resize(text.size() / 4 * 3);
    const int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) {
        return false;
    }
    // EVP_DecodeBlock keeps the zero bytes that the padding stands for.
    std::size_t padding = 0;
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) {
        ++padding;
    }
    bytes.resize(static_cast<std::size_t>(n) - padding);
    return true;
}

std::string EncodeBase64(const Bytes& bytes) {
    std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(n));
    return text;
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

bool Blake2b512(const std::string& message, Bytes& digest) {
    digest.resize(64);
    unsigned length = 0;
    return EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_blake2b512(),
                      nullptr) == 1 &&
           length == 64;
}

bool Ed25519Verify(const std::array<std::uint8_t, 32>& publicKey, const std::uint8_t* signature,
                   const std::uint8_t* message, std::size_t length) {
    Pkey key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    MdCtx ctx(EVP_MD_CTX_new());
    return key && ctx &&
           EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), signature, kSignatureBytes, message, length) == 1;
}

Bytes Ed25519Sign(const std::array<std::uint8_t, 32>& seed, const std::uint8_t* message,
                  std::size_t length) {
    Pkey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    MdCtx ctx(EVP_MD_CTX_new());
    Bytes signature(kSignatureBytes);
    std::size_t size = signature.size();
    if (!key || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature.data(), &size, message, length) != 1) {
        return {};
    }
    return signature;
}

std::uint64_t LittleEndian(const std::uint8_t* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

// scrypt's cost from libsodium's limits, as crypto_pwhash_scryptsalsa208sha256
// picks it, so that keys made by minisign open here.
void ScryptParameters(std::uint64_t opsLimit, std::uint64_t memLimit, std::uint64_t& n,
                      std::uint64_t& r, std::uint64_t& p) {
    opsLimit = std::max<std::uint64_t>(opsLimit, 32768);
    r = 8;
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
    MdCtx blake2b{EVP_MD_CTX_new()};
    bool ok = blake2b && EVP_DigestInit_ex(blake2b.get(), EVP_blake2b512(), nullptr) == 1;
};

MinisignMessage::MinisignMessage() : m_context(std::make_unique<Context>()) {}

MinisignMessage::~MinisignMessage() = default;

void MinisignMessage::Update(const void* data, std::size_t length) {
    m_context->ok = m_context->ok && EVP_DigestUpdate(m_context->blake2b.get(), data, length) == 1;
    if (m_kept && m_bytes.size() + length <= kMaxUnhashedSignedBytes) {
        m_bytes.append(static_cast<const char*>(data), length);
    } else {
        m_kept = false;
        std::string().swap(m_bytes);
    }
}

std::string MinisignMessage::Prehash() const {
    MdCtx copy(EVP_MD_CTX_new());
    std::string digest(64, '\0');
    unsigned length = 0;
    if (!m_context->ok || !copy || EVP_MD_CTX_copy_ex(copy.get(), m_context->blake2b.get()) != 1 ||
        EVP_DigestFinal_ex(copy.get(), reinterpret_cast<unsigned char*>(digest.data()), &length) !=
            1 ||
        length != digest.size()) {
        return {};
    }
    return digest;
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
        std::uint64_t n = 0;
        std::uint64_t r = 0;
        std::uint64_t p = 0;
        ScryptParameters(LittleEndian(bytes.data() + 38), LittleEndian(bytes.data() + 46), n, r, p);
        Bytes stream(kKeyNumBytes);
        const std::uint64_t memory = 128 * n * r * p + 128 * r * (n + 2) + (1 << 20);
        if (EVP_PBE_scrypt(password.data(), password.size(), salt, 32, n, r, p, memory,
                           stream.data(), stream.size()) != 1) {
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
    Pkey derived(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, key.seed.data(), key.seed.size()));
    std::array<std::uint8_t, 32> publicKey{};
    std::size_t size = publicKey.size();
    if (!derived || EVP_PKEY_get_raw_public_key(derived.get(), publicKey.data(), &size) != 1 ||
        publicKey != key.publicKey) {
        return SecretKeyLoad::WrongPassword;
    }
    return SecretKeyLoad::Loaded;
}

std::string SignMinisign(const MinisignSecretKey& key, const std::string& message,
                         const std::string& trustedComment) {
    Bytes prehash;
    if (!Blake2b512(message, prehash)) {
        return {};
    }
    const Bytes signature = Ed25519Sign(key.seed, prehash.data(), prehash.size());
    if (signature.empty()) {
        return {};
    }
    Bytes line = {'E', 'D'};
    line.insert(line.end(), key.keyId.begin(), key.keyId.end());
    line.insert(line.end(), signature.begin(), signature.end());
    Bytes globalMessage = signature;
    globalMessage.insert(globalMessage.end(), trustedComment.begin(), trustedComment.end());
    const Bytes global = Ed25519Sign(key.seed, globalMessage.data(), globalMessage.size());
    if (global.empty()) {
        return {};
    }
    return std::string(kUntrusted) + "signature from velmora-publish\n" + EncodeBase64(line) +
           "\n" + kTrusted + trustedComment + "\n" + EncodeBase64(global) + "\n";
}
