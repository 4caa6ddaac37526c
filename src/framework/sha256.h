#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

// Readies the crypto library for use from any thread; every user of it calls
// this first (Sha256 does, and so do the signatures). Cheap after the first call.
void EnsureCryptoLibrary();

// SHA-256, fed piece by piece as data arrives (libgcrypt, which uses the
// processor's SHA instructions where it has them). A copy carries on from the
// same point.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256& other);
    Sha256& operator=(const Sha256& other);

    void Update(const void* data, std::size_t length);
    // The digest of everything fed so far; the object can go on being fed.
    Sha256Digest Digest() const;
    void Reset();
    // The number of bytes fed since construction or Reset().
    std::uint64_t Length() const { return m_length; }

  private:
    struct Context;
    std::unique_ptr<Context> m_context;
    std::uint64_t m_length = 0;
};

// Lower-case hexadecimal, as sha256sum prints it, and back; false for
// anything that is not 64 hexadecimal digits.
std::string ToHex(const Sha256Digest& digest);
bool FromHex(const std::string& hex, Sha256Digest& digest);
