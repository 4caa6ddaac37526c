#include "transfer/proxy_bypass.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct UrlParts {
    std::string scheme;
    std::string host;  // lower case; an IPv6 address keeps its brackets
    int port = 0;
};

// A proxy list's entry: "http=host:port" has a scheme, "host:port" none.
struct ListEntry {
    std::string scheme = {};
    std::string value = {};
    bool direct = false;
    bool usable = true;  // false for kinds of proxy not spoken here (SOCKS)
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = Lower(c);
    }
    return lowered;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::string> Split(std::string_view text) {
    std::vector<std::string> tokens;
    std::string token;
    for (char c : text) {
        if (c == ';' || IsSpace(c)) {
            if (!token.empty()) {
                tokens.push_back(token);
            }
            token.clear();
        } else {
            token += c;
        }
    }
    if (!token.empty()) {
        tokens.push_back(token);
    }
    return tokens;
}

// 1 to 65535, digits only; -1 otherwise.
int ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        return -1;
    }
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        port = port * 10 + (c - '0');
    }
    return (port >= 1 && port <= 65535) ? port : -1;
}

// Splits "host:port" or "[v6]:port"; the port is 0 when not given, -1 when
// it is not a port.
std::pair<std::string_view, int> SplitHostPort(std::string_view text) {
    std::size_t colon = std::string_view::npos;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return {text, -1};
        }
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return {text, -1};
            }
            colon = close + 1;
        }
    } else {
        colon = text.rfind(':');
    }
    if (colon == std::string_view::npos) {
        return {text, 0};
    }
    return {text.substr(0, colon), ParsePort(text.substr(colon + 1))};
}

std::optional<UrlParts> ParseUrl(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) {
        return std::nullopt;
    }
    UrlParts parts;
    parts.scheme = Lowered(url.substr(0, schemeEnd));
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    const auto [host, port] = SplitHostPort(authority);
    if (host.empty() || port < 0) {
        return std::nullopt;
    }
    parts.host = Lowered(host);
    parts.port = port != 0 ? port : parts.scheme == "https" ? 443 : parts.scheme == "http" ? 80 : 0;
    return parts;
}

// `pattern` with '*' for any run of characters against `text`, both in
// lower case.
bool WildcardMatches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool EntryMatches(const std::string& entry, const UrlParts& url) {
    if (entry == "<local>") {
        // Intranet names: no dot, and not an address.
        return url.host.find_first_of(".:") == std::string::npos;
    }
    std::string_view rest = entry;
    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string_view::npos) {
        if (rest.substr(0, schemeEnd) != url.scheme) {
            return false;
        }
        rest.remove_prefix(schemeEnd + 3);
    }
    while (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    auto [host, port] = SplitHostPort(rest);
    if (port < 0) {
        // A colon that ends no port ("*:*", a bare IPv6 address): the
        // whole entry is a host pattern.
        host = rest;
        port = 0;
    }
    return (port == 0 || port == url.port) && WildcardMatches(host, url.host);
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// "host:port", "host" or "http://host:port/" as "http://host:port"; empty
// for anything else. Without a port, the proxy's is 80, as Windows takes
// it, not libcurl's 1080.
std::string Normalised(std::string_view value) {
    if (Lowered(value.substr(0, 7)) == "http://") {
        value.remove_prefix(7);
    } else if (value.find("://") != std::string_view::npos) {
        return {};
    }
    while (!value.empty() && value.back() == '/') {
        value.remove_suffix(1);
    }
    const auto [host, port] = SplitHostPort(value);
    if (host.empty() || port < 0) {
        return {};
    }
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']' ||
            host.substr(1, host.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") !=
                std::string_view::npos) {
            return {};
        }
    } else {
        for (char c : host) {
            if (!IsHostChar(c)) {
                return {};
            }
        }
    }
    return "http://" + std::string(host) + ":" + std::to_string(port != 0 ? port : 80);
}

std::vector<ListEntry> ParseList(const std::string& list) {
    const std::vector<std::string> tokens = Split(list);
    std::vector<ListEntry> entries;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string word = Lowered(tokens[i]);
        if (word == "direct") {
            entries.push_back({.direct = true});
        } else if (word == "proxy" || word == "http") {
            // A PAC file's answer: the keyword, then the proxy.
            if (i + 1 < tokens.size()) {
                entries.push_back({.value = tokens[++i]});
            }
        } else if (word == "https" || word == "socks" || word == "socks4" || word == "socks5") {
            if (i + 1 < tokens.size()) {
                entries.push_back({.value = tokens[++i], .usable = false});
            }
        } else if (const std::size_t equals = word.find('='); equals != std::string::npos) {
            // "=host:port" names no scheme: not a plain entry either.
            entries.push_back({.scheme = word.substr(0, equals),
                               .value = tokens[i].substr(equals + 1),
                               .usable = equals != 0});
        } else {
            entries.push_back({.value = tokens[i]});
        }
    }
    return entries;
}

}  // namespace

std::string ProxyFromList(const std::string& list, const std::string& scheme) {
    const std::vector<ListEntry> entries = ParseList(list);
    const std::string wanted = Lowered(scheme);
    for (const ListEntry& entry : entries) {
        if (!entry.scheme.empty() && entry.scheme == wanted) {
            if (std::string proxy = Normalised(entry.value); !proxy.empty()) {
                return proxy;
            }
        }
    }
    // As a PAC file's answer is read: DIRECT ends the search, and kinds of
    // proxy not spoken here are passed over for the next.
    for (const ListEntry& entry : entries) {
        if (entry.direct) {
            return {};
        }
        if (entry.scheme.empty() && entry.usable) {
            if (std::string proxy = Normalised(entry.value); !proxy.empty()) {
                return proxy;
            }
        }
    }
    return {};
}

bool BypassesProxy(const std::string& url, const std::string& bypassList) {
    const std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts) {
        return false;
    }
    for (const std::string& entry : Split(bypassList)) {
        if (EntryMatches(Lowered(entry), *parts)) {
            return true;
        }
    }
    return false;
}

std::string ProxyForUrl(const std::string& url, const std::string& list,
                        const std::string& bypassList) {
    const std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts || BypassesProxy(url, bypassList)) {
        return {};
    }
    return ProxyFromList(list, parts->scheme);
}
