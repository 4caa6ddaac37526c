#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Signatures in the format of minisign: Ed25519 over the BLAKE2b-512 hash of
// the file ("prehashed", what minisign makes by default; the older form
// over the file itself is read too), and a second Ed25519 signature over the
// first one and the trusted comment, so that the comment cannot be changed
// either. The crypto is libgcrypt's.
//
//   public key file   untrusted comment: ...
//                     base64("Ed" | key id (8) | public key (32))
//   signature file    untrusted comment: ...
//                     base64("ED" | key id (8) | signature (64))
//                     trusted comment: <text>
//                     base64(signature (64) of signature | <text>)
//   secret key file   untrusted comment: ...
//                     base64("Ed" | kdf ("Sc" scrypt, or two zero bytes) |
//                            "B2" | salt (32) | ops limit (8) | mem limit (8) |
//                            key id (8) | secret key (64) | checksum (32))
//                     where with scrypt the last 104 bytes are XORed with
//                     scrypt(password, salt) as libsodium's
//                     crypto_pwhash_scryptsalsa208sha256 derives it.

struct MinisignPublicKey {
    std::array<std::uint8_t, 8> keyId{};
    std::array<std::uint8_t, 32> key{};
};

struct MinisignSecretKey {
    std::array<std::uint8_t, 8> keyId{};
    std::array<std::uint8_t, 32> seed{};
    std::array<std::uint8_t, 32> publicKey{};
};

// From the base64 line of a public key (what `minisign -P` takes) or from a
// whole public key file.
bool ParseMinisignPublicKey(const std::string& text, MinisignPublicKey& key);

enum class SignatureCheck {
    Valid,
    Malformed,  // not a signature file at all
    OtherKey,   // made with another key than the one given
    Invalid,    // the file or the trusted comment is not what was signed
};

// What a signature is checked against, fed piece by piece as the signed
// file is read, so that a large file is never held whole: its BLAKE2b-512
// for the prehashed form, and, for the older form, the bytes themselves
// while they are at most kMaxUnhashedSignedBytes (a larger file signed so is
// refused).
class MinisignMessage {
  public:
    static constexpr std::size_t kMaxUnhashedSignedBytes = 1 << 20;

    MinisignMessage();
    ~MinisignMessage();
    MinisignMessage(const MinisignMessage&) = delete;
    MinisignMessage& operator=(const MinisignMessage&) = delete;

    void Update(const void* data, std::size_t length);
    // The BLAKE2b-512 of all fed so far, empty on failure.
    std::string Prehash() const;
    // All fed so far, or null when it was too large to keep.
    const std::string* Bytes() const { return m_kept ? &m_bytes : nullptr; }

  private:
    struct Context;
    std::unique_ptr<Context> m_context;
    std::string m_bytes;
    bool m_kept = true;
};

// Checks `signatureFile` against `message` (the signed file's bytes); on
// success `trustedComment` is the signed comment.
SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const std::string& signatureFile,
                              const std::string& message, std::string& trustedComment);
SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const std::string& signatureFile,
                              const MinisignMessage& message, std::string& trustedComment);

enum class SecretKeyLoad { Loaded, Malformed, WrongPassword };

bool IsEncryptedMinisignSecretKey(const std::string& file);
SecretKeyLoad ParseMinisignSecretKey(const std::string& file, const std::string& password,
                                     MinisignSecretKey& key);

// A prehashed signature file of `message`.
std::string SignMinisign(const MinisignSecretKey& key, const std::string& message,
                         const std::string& trustedComment);

// Ed25519 as RFC 8032 defines it, beneath the formats above. A secret key is
// its 32-byte seed; a signature is R (32) | S (32), and Ed25519Verify reads
// those 64 bytes from `signature`.
using Ed25519Key = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;
bool Ed25519PublicKey(const Ed25519Key& seed, Ed25519Key& publicKey);
bool Ed25519Sign(const Ed25519Key& seed, const void* message, std::size_t length,
                 Ed25519Signature& signature);
bool Ed25519Verify(const Ed25519Key& publicKey, const std::uint8_t* signature, const void* message,
                   std::size_t length);
