#include "framework/sha256.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>

#include <vector>
#include "framework/own_files.h"

struct Sha256::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    Reset();
}

Sha256::~Sha256() = default;

Sha256::Sha256(const Sha256& other) : m_context(std::make_unique<Context>()) {
    *this = other;
}

Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) {
        EVP_MD_CTX_copy_ex(m_context->ctx, other.m_context->ctx);
        m_length = other.m_length;
    }
    return *this;
}

void Sha256::Update(const void* data, std::size_t length) {
    EVP_DigestUpdate(m_context->ctx, data, length);
    m_length += length;
}

Sha256Digest Sha256::Digest() const {
    // Finishing consumes the state: finish a copy.
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    EVP_MD_CTX_copy_ex(copy, m_context->ctx);
    Sha256Digest digest{};
    unsigned length = 0;
    EVP_DigestFinal_ex(copy, digest.data(), &length);
    EVP_MD_CTX_free(copy);
    return digest;
}

void Sha256::Reset() {
    EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr);
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

bool HashFileContents(int fd, Sha256& hash, const std::atomic<int>* cancel) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) {
            return false;
        }
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        hash.Update(buffer.data(), static_cast<std::size_t>(n));
    }
}

bool HashOwnFile(const OwnFolder& folder, const std::string& name, Sha256& hash,
                 const std::atomic<int>* cancel) {
    const int fd = OpenOwnFileForReading(folder, name);
    const bool read = fd >= 0 && HashFileContents(fd, hash, cancel);
    if (fd >= 0) {
        close(fd);
    }
    return read;
}
