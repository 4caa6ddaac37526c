#pragma once

#include <string>

// The proxy that the desktop's own settings give for `url`, through GIO's
// proxy resolver with glib-networking: GNOME's settings (a PAC file
// included), and elsewhere libproxy's (KDE's settings, a "pac+" address).
// "http://host:port", "socks5://host:port" and the like; empty for none, or
// when nothing on this machine resolves proxies, so that the environment's
// http_proxy and no_proxy apply.
std::string DesktopProxyFor(const std::string& url);
