// The crypto primitives against published test vectors: SHA-256 (FIPS 180-2),
// BLAKE2b-512 (RFC 7693), Ed25519 (RFC 8032) and base64 (RFC 4648).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/base64.h"
#include "catalogue/minisign.h"
#include "framework/sha256.h"

namespace {

std::vector<std::uint8_t> Unhex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

template <std::size_t N>
std::array<std::uint8_t, N> UnhexArray(const std::string& hex) {
    const std::vector<std::uint8_t> bytes = Unhex(hex);
    std::array<std::uint8_t, N> array{};
    EXPECT_EQ(bytes.size(), N) << hex;
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), array.begin());
    return array;
}

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

std::string Hex(const std::string& bytes) {
    return Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

constexpr char kSha256Empty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr char kSha256Abc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
// The two-block message of FIPS 180-2, which happens to begin with "abc".
constexpr char kTwoBlocks[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr char kSha256TwoBlocks[] =
    "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";

TEST(Sha256VectorsTest, DigestsMidStreamCopiesAndResets) {
    Sha256 hash;
    EXPECT_EQ(ToHex(hash.Digest()), kSha256Empty);
    hash.Update("abc", 3);
    EXPECT_EQ(ToHex(hash.Digest()), kSha256Abc);
    EXPECT_EQ(ToHex(hash.Digest()), kSha256Abc) << "a digest does not end the stream";

    Sha256 copy(hash);
    const std::string rest = std::string(kTwoBlocks).substr(3);
    hash.Update(rest.data(), rest.size());
    EXPECT_EQ(ToHex(hash.Digest()), kSha256TwoBlocks);
    EXPECT_EQ(hash.Length(), 56u);
    EXPECT_EQ(ToHex(copy.Digest()), kSha256Abc) << "the copy has its own state";
    EXPECT_EQ(copy.Length(), 3u);

    copy = hash;
    EXPECT_EQ(ToHex(copy.Digest()), kSha256TwoBlocks);
    hash.Reset();
    EXPECT_EQ(hash.Length(), 0u);
    EXPECT_EQ(ToHex(hash.Digest()), kSha256Empty);
    EXPECT_EQ(ToHex(copy.Digest()), kSha256TwoBlocks) << "a reset leaves the copy alone";
}

TEST(Sha256VectorsTest, AMillionAsFedInUnevenPieces) {
    const std::string a(1000000, 'a');
    Sha256 hash;
    for (std::size_t at = 0, piece = 1; at < a.size(); at += piece, piece = piece * 3 % 65537) {
        hash.Update(a.data() + at, std::min(piece, a.size() - at));
    }
    EXPECT_EQ(ToHex(hash.Digest()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Blake2bVectorsTest, PrehashOfEmptyAndAbc) {
    MinisignMessage empty;
    EXPECT_EQ(Hex(empty.Prehash()),
              "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419"
              "d25e1031afee585313896444934eb04b903a685b1448b755d56f701afe9be2ce");
    MinisignMessage abc;
    abc.Update("a", 1);
    EXPECT_EQ(abc.Prehash().size(), 64u) << "a prehash does not end the stream";
    abc.Update("bc", 2);
    EXPECT_EQ(Hex(abc.Prehash()),
              "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
              "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
}

struct Ed25519Vector {
    const char* seed;
    const char* publicKey;
    const char* message;
    const char* signature;
};

// RFC 8032, section 7.1, tests 1 and 2.
constexpr Ed25519Vector kEd25519Vectors[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
     "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
     "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
};

TEST(Ed25519VectorsTest, PublicKeySignatureAndVerification) {
    for (const Ed25519Vector& vector : kEd25519Vectors) {
        SCOPED_TRACE(vector.publicKey);
        const Ed25519Key seed = UnhexArray<32>(vector.seed);
        const std::vector<std::uint8_t> message = Unhex(vector.message);

        Ed25519Key publicKey{};
        ASSERT_TRUE(Ed25519PublicKey(seed, publicKey));
        EXPECT_EQ(Hex(publicKey.data(), publicKey.size()), vector.publicKey);

        Ed25519Signature signature{};
        ASSERT_TRUE(Ed25519Sign(seed, message.data(), message.size(), signature));
        EXPECT_EQ(Hex(signature.data(), signature.size()), vector.signature);

        const Ed25519Signature published = UnhexArray<64>(vector.signature);
        EXPECT_TRUE(Ed25519Verify(publicKey, published.data(), message.data(), message.size()));
    }
}

TEST(Ed25519VectorsTest, RefusesWhatWasNotSigned) {
    const Ed25519Vector& vector = kEd25519Vectors[1];
    const Ed25519Key publicKey = UnhexArray<32>(vector.publicKey);
    const std::vector<std::uint8_t> message = Unhex(vector.message);
    const Ed25519Signature signature = UnhexArray<64>(vector.signature);
    ASSERT_TRUE(Ed25519Verify(publicKey, signature.data(), message.data(), message.size()));

    const std::uint8_t other = 0x73;
    EXPECT_FALSE(Ed25519Verify(publicKey, signature.data(), &other, 1));
    EXPECT_FALSE(Ed25519Verify(publicKey, signature.data(), message.data(), 0));
    for (const std::size_t at : {0, 31, 32, 63}) {
        Ed25519Signature flipped = signature;
        flipped[at] ^= 1;
        EXPECT_FALSE(Ed25519Verify(publicKey, flipped.data(), message.data(), message.size()))
            << "byte " << at;
    }
    Ed25519Key otherKey = UnhexArray<32>(kEd25519Vectors[0].publicKey);
    EXPECT_FALSE(Ed25519Verify(otherKey, signature.data(), message.data(), message.size()));

    // S + L, the group order, is the same point arithmetic but not the
    // signature: RFC 8032 refuses an S that is not below L.
    const std::array<std::uint8_t, 32> order =
        UnhexArray<32>("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    Ed25519Signature malleated = signature;
    unsigned carry = 0;
    for (std::size_t i = 0; i < 32; ++i) {
        const unsigned sum = malleated[32 + i] + order[i] + carry;
        malleated[32 + i] = static_cast<std::uint8_t>(sum);
        carry = sum >> 8;
    }
    ASSERT_EQ(carry, 0u);
    EXPECT_FALSE(Ed25519Verify(publicKey, malleated.data(), message.data(), message.size()));
}

// An unencrypted minisign secret key file around `seed` and `publicKey`.
std::string SecretKeyFile(const Ed25519Key& seed, const Ed25519Key& publicKey) {
    std::vector<std::uint8_t> bytes = {'E', 'd', 0, 0, 'B', '2'};
    bytes.resize(bytes.size() + 32 + 8 + 8);  // salt and limits, unused without a password
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(0xa0 + i));  // key id
    }
    bytes.insert(bytes.end(), seed.begin(), seed.end());
    bytes.insert(bytes.end(), publicKey.begin(), publicKey.end());
    bytes.resize(bytes.size() + 32);  // the checksum
    return "untrusted comment: test\n" + EncodeBase64(bytes.data(), bytes.size()) + "\n";
}

TEST(Ed25519VectorsTest, ASecretKeyLoadsOnlyWhenItsSeedLeadsToItsPublicKey) {
    const Ed25519Key seed = UnhexArray<32>(kEd25519Vectors[0].seed);
    MinisignSecretKey key;
    ASSERT_EQ(ParseMinisignSecretKey(
                  SecretKeyFile(seed, UnhexArray<32>(kEd25519Vectors[0].publicKey)), "", key),
              SecretKeyLoad::Loaded);
    EXPECT_EQ(key.seed, seed);
    EXPECT_EQ(key.keyId[0], 0xa0);
    EXPECT_EQ(ParseMinisignSecretKey(
                  SecretKeyFile(seed, UnhexArray<32>(kEd25519Vectors[1].publicKey)), "", key),
              SecretKeyLoad::WrongPassword);
}

TEST(Base64Test, Rfc4648VectorsBothWays) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(EncodeBase64(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size()),
                  encoded);
        std::vector<std::uint8_t> decoded = {1, 2, 3};
        ASSERT_TRUE(DecodeBase64(encoded, decoded)) << encoded;
        EXPECT_EQ(std::string(decoded.begin(), decoded.end()), plain);
    }
}

TEST(Base64Test, EveryByteValueAtEveryPositionRoundTrips) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 256 + 2; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i * 7));
    }
    for (std::size_t length = 254; length <= bytes.size(); ++length) {
        const std::string text = EncodeBase64(bytes.data(), length);
        std::vector<std::uint8_t> decoded;
        ASSERT_TRUE(DecodeBase64(text, decoded));
        EXPECT_EQ(decoded, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
    }
}

TEST(Base64Test, RefusesAllButTheOneEncoding) {
    // Not a multiple of 4; white space; outside the alphabet; padding before
    // the end, too much of it or a letter after it; unused bits set ("Zg=="
    // is the encoding of "f", "Zm8=" that of "fo").
    for (const std::string bad :
         {"Zm9", "Zm9vY", "Zg=", "Zm9v\n", "Zm 9v", " Zm9", "Zm-v", "Zm9_",
          "Zm9v\xc3\xa9==", "Zg==Zm9v", "Z===", "====", "Zg=a", "=Zm9", "Zh==", "Zm9="}) {
        std::vector<std::uint8_t> decoded = {9};
        EXPECT_FALSE(DecodeBase64(bad, decoded)) << bad;
        EXPECT_EQ(decoded, std::vector<std::uint8_t>{9}) << "untouched on refusal";
    }
}

}  // namespace
