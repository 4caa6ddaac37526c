#pragma once

#include <atomic>
#include <string>

// How long one lookup of the desktop's proxy settings may take: a PAC file
// whose host never answers must not hold a request, the window or closing.
inline constexpr long kDesktopProxyLookupMs = 5000;

// The bound of one lookup, and the flag that cuts it short (Stop, closing).
struct ProxyLookupLimits {
    long timeoutMs = kDesktopProxyLookupMs;
    const std::atomic<int>* stop = nullptr;
};

// The proxy that the desktop's own settings give for `url`. On Linux through
// GIO's proxy resolver with glib-networking: GNOME's settings (a PAC file
// included), and elsewhere libproxy's (KDE's settings, a "pac+" address). On
// Windows through WinHTTP: the Internet settings' PAC file or automatic
// detection, then their fixed proxy and its bypass list.
// "http://host:port", "socks5://host:port" and the like; empty for none, or
// when nothing on this machine resolves proxies, so that the environment's
// http_proxy and no_proxy apply. A lookup that does not answer within the
// bound counts as none, and the rest of the run asks the desktop no more (on
// Windows: runs no PAC file again, and the settings' fixed proxy applies,
// as Windows itself falls back to it); one cut short by `stop` counts as
// none too, and while the resolver's thread still works on it, no other
// lookup is started beside it.
std::string DesktopProxyFor(const std::string& url, const ProxyLookupLimits& limits = {});
