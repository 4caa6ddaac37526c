#include "framework/shown_text.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The direction controls of Unicode: the embeddings and overrides U+202A to
// U+202E, the isolates U+2066 to U+2069, and the marks U+200E, U+200F and
// U+061C. In UTF-8 the first two groups are E2 80 AA..AE and E2 81 A6..A9.
int DirectionControlAt(std::string_view text, std::size_t i) {
    if (i + 2 < text.size() && static_cast<unsigned char>(text[i]) == 0xE2) {
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        const auto b2 = static_cast<unsigned char>(text[i + 2]);
        if ((b1 == 0x80 && ((b2 >= 0xAA && b2 <= 0xAE) || b2 == 0x8E || b2 == 0x8F)) ||
            (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9)) {
            return 0x2000 | ((b1 & 0x0F) << 6) | (b2 & 0x3F);
        }
    }
    if (i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xD8 &&
        static_cast<unsigned char>(text[i + 1]) == 0x9C) {
        return 0x061C;
    }
    return 0;
}

// Where a cut at `at` bytes keeps whole UTF-8 sequences.
std::size_t CutAt(std::string_view text, std::size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        --at;
    }
    return at;
}

}  // namespace

std::string ShownAsItStands(std::string_view text) {
    text = text.substr(0, CutAt(text, kMaxShownOutsideText));
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 15];
        } else if (const int control = DirectionControlAt(text, i); control != 0) {
            shown += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                shown += kHex[(control >> shift) & 15];
            }
            i += control == 0x061C ? 1 : 2;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
