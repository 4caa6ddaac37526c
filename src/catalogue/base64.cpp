#include "catalogue/base64.h"

#include <utility>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

std::string EncodeBase64(const std::uint8_t* data, std::size_t length) {
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    for (std::size_t i = 0; i < length; i += 3) {
        const std::size_t left = length - i;
        const std::uint32_t group = std::uint32_t{data[i]} << 16 |
                                    (left > 1 ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                    (left > 2 ? std::uint32_t{data[i + 2]} : 0);
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += left > 1 ? kAlphabet[group >> 6 & 63] : '=';
        text += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return text;
}

bool DecodeBase64(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::vector<std::uint8_t> decoded;
    decoded.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // "=" stands only at the end: "xx==" for one byte, "xxx=" for two.
        const std::size_t padding = !last ? 0 : text[i + 3] != '=' ? 0 : text[i + 2] != '=' ? 1 : 2;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4 - padding; ++k) {
            const int value = ValueOf(text[i + k]);
            if (value < 0) {
                return false;
            }
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        group <<= 6 * padding;
        // The bits beyond the last byte must be zero, or two texts would
        // decode to the same bytes.
        if ((padding == 1 && (group & 0xff) != 0) || (padding == 2 && (group & 0xffff) != 0)) {
            return false;
        }
        decoded.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2) {
            decoded.push_back(static_cast<std::uint8_t>(group >> 8));
        }
        if (padding < 1) {
            decoded.push_back(static_cast<std::uint8_t>(group));
        }
    }
    bytes = std::move(decoded);
    return true;
}
