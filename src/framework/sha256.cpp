#include "framework/sha256.h"

#include <gcrypt.h>

#include <cstdlib>
#include <cstring>

namespace {

// The oldest release this was tested with; the build asks for it too.
constexpr char kMinimumGcryptVersion[] = "1.10.0";

gcry_md_hd_t OpenSha256() {
    gcry_md_hd_t handle = nullptr;
    // Fails only when memory runs out, which the interface has no way to say.
    if (gcry_md_open(&handle, GCRY_MD_SHA256, 0) != 0) {
        std::abort();
    }
    return handle;
}

gcry_md_hd_t CopyOf(gcry_md_hd_t handle) {
    gcry_md_hd_t copy = nullptr;
    if (gcry_md_copy(&copy, handle) != 0) {
        std::abort();
    }
    return copy;
}

}  // namespace

void EnsureCryptoLibrary() {
    // A function-local static is initialised once, whichever thread comes
    // first; the others wait for it.
    static const bool ready = [] {
        if (gcry_check_version(kMinimumGcryptVersion) == nullptr) {
            // An older library than the build's: a broken installation.
            std::abort();
        }
        // Another library in the process may have set it up already.
        if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
            // Nothing secret is kept long enough to need locked memory.
            gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
            gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        }
        return true;
    }();
    static_cast<void>(ready);
}

struct Sha256::Context {
    gcry_md_hd_t handle;
    explicit Context(gcry_md_hd_t h) : handle(h) {}
    ~Context() { gcry_md_close(handle); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

Sha256::Sha256() {
    EnsureCryptoLibrary();
    m_context = std::make_unique<Context>(OpenSha256());
}

Sha256::~Sha256() = default;

Sha256::Sha256(const Sha256& other)
    : m_context(std::make_unique<Context>(CopyOf(other.m_context->handle))),
      m_length(other.m_length) {}

Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) {
        m_context = std::make_unique<Context>(CopyOf(other.m_context->handle));
        m_length = other.m_length;
    }
    return *this;
}

void Sha256::Update(const void* data, std::size_t length) {
    gcry_md_write(m_context->handle, data, length);
    m_length += length;
}

Sha256Digest Sha256::Digest() const {
    // Reading finalises the state: read a copy.
    gcry_md_hd_t copy = CopyOf(m_context->handle);
    Sha256Digest digest{};
    std::memcpy(digest.data(), gcry_md_read(copy, GCRY_MD_SHA256), digest.size());
    gcry_md_close(copy);
    return digest;
}

void Sha256::Reset() {
    gcry_md_reset(m_context->handle);
    m_length = 0;
}

std::string ToHex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, Sha256Digest& digest) {
    if (hex.size() != 2 * digest.size()) {
        return false;
    }
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}
