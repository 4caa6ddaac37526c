#include "transfer/desktop_proxy.h"

#include <gio/gio.h>

namespace {

// The kinds of proxy libcurl speaks to.
bool IsUsable(const std::string& proxy) {
    for (const char* scheme :
         {"http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"}) {
        if (proxy.rfind(scheme, 0) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string DesktopProxyFor(const std::string& url) {
    GProxyResolver* resolver = g_proxy_resolver_get_default();
    if (resolver == nullptr) {
        return {};
    }
    GError* error = nullptr;
    gchar** proxies = g_proxy_resolver_lookup(resolver, url.c_str(), nullptr, &error);
    std::string chosen;
    for (gchar** proxy = proxies; proxy != nullptr && *proxy != nullptr; ++proxy) {
        // "direct://" first means no proxy; the first usable one is taken.
        if (std::string(*proxy) == "direct://") {
            break;
        }
        if (IsUsable(*proxy)) {
            chosen = *proxy;
            break;
        }
    }
    g_strfreev(proxies);
    if (error != nullptr) {
        g_error_free(error);
    }
    return chosen;
}
