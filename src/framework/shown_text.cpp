#include "framework/shown_text.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The characters of Unicode that change how the rest reads without being
// seen: the direction controls (the embeddings and overrides U+202A to
// U+202E, the isolates U+2066 to U+2069, the marks U+200E, U+200F and
// U+061C), the line and paragraph separators U+2028 and U+2029, and the C1
// controls U+0080 to U+009F. Returns the character and, in `length`, its
// UTF-8 length; 0 for any other.
int HiddenCharacterAt(std::string_view text, std::size_t i, std::size_t& length) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (i + 2 < text.size() && at(0) == 0xE2) {
        const unsigned char b1 = at(1);
        const unsigned char b2 = at(2);
        if ((b1 == 0x80 && ((b2 >= 0xA8 && b2 <= 0xAE) || b2 == 0x8E || b2 == 0x8F)) ||
            (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9)) {
            length = 3;
            return 0x2000 | ((b1 & 0x0F) << 6) | (b2 & 0x3F);
        }
    }
    if (i + 1 < text.size() &&
        ((at(0) == 0xD8 && at(1) == 0x9C) || (at(0) == 0xC2 && at(1) >= 0x80 && at(1) <= 0x9F))) {
        length = 2;
        return ((at(0) & 0x1F) << 6) | (at(1) & 0x3F);
    }
    return 0;
}

// Where a cut at `at` bytes keeps whole UTF-8 sequences: back over at most
// three continuation bytes, as a sequence has no more; text that is not
// UTF-8 is cut where it stands.
std::size_t CutAt(std::string_view text, std::size_t at) {
    constexpr std::size_t kMaxContinuation = 3;
    for (std::size_t back = 0; back < kMaxContinuation && at > 0 && at < text.size() &&
                               (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
         ++back) {
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
        } else if (std::size_t length = 0; const int hidden = HiddenCharacterAt(text, i, length)) {
            shown += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                shown += kHex[(hidden >> shift) & 15];
            }
            i += length - 1;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
