#include "widgets/desktop_notice.h"

// The three that make markup; a quote is text outside a tag, and stays as it
// is for a desktop that reads the body as text after all.
std::string NotificationBodyMarkup(const std::string& text) {
    std::string markup;
    markup.reserve(text.size());
    for (const char c : text) {
        if (c == '&') {
            markup += "&amp;";
        } else if (c == '<') {
            markup += "&lt;";
        } else if (c == '>') {
            markup += "&gt;";
        } else {
            markup += c;
        }
    }
    return markup;
}
