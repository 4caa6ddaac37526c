#include "framework/text_mode.h"

std::string InTextMode(std::string_view text) {
    const std::string_view end(kLineEnd);
    if (end == "\n") {
        return std::string(text);
    }
    std::string stored;
    stored.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            stored += end;
        } else {
            stored += c;
        }
    }
    return stored;
}

std::string FromTextMode(std::string_view stored) {
    const std::string_view end(kLineEnd);
    if (end == "\n") {
        return std::string(stored);
    }
    std::string text;
    text.reserve(stored.size());
    for (std::size_t at = 0; at < stored.size();) {
        if (stored.compare(at, end.size(), end) == 0) {
            text += '\n';
            at += end.size();
        } else {
            text += stored[at++];
        }
    }
    return text;
}
