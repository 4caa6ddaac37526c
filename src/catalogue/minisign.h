#pragma once

#include <array>
#include <cstdint>
#include <string>

// Signatures in the format of minisign: Ed25519 over the BLAKE2b-512 hash of
// the file ("prehashed", what minisign makes by default; the older form
// over the file itself is read too), and a second Ed25519 signature over the
// first one and the trusted comment, so that the comment cannot be changed
// either. The crypto is OpenSSL's libcrypto.
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

// Checks `signatureFile` against `message` (the signed file's bytes); on
// success `trustedComment` is the signed comment.
SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const std::string& signatureFile,
                              const std::string& message, std::string& trustedComment);

enum class SecretKeyLoad { Loaded, Malformed, WrongPassword };

bool IsEncryptedMinisignSecretKey(const std::string& file);
SecretKeyLoad ParseMinisignSecretKey(const std::string& file, const std::string& password,
                                     MinisignSecretKey& key);

// A prehashed signature file of `message`.
std::string SignMinisign(const MinisignSecretKey& key, const std::string& message,
                         const std::string& trustedComment);
