#pragma once

#include <string>

// The text side of Windows' Internet settings, kept free of Windows headers
// so that every platform builds and tests it.

// The proxy that a WinHTTP proxy list gives for a URL of `scheme` ("http",
// "https"), as "http://host:port". The list is a manual setting ("host:port",
// "http=host:port;https=host:port") or a PAC file's answer ("a:1; b:2",
// "PROXY a:1; DIRECT"): the entry for the scheme is taken, or else the first
// plain one. Empty for none: DIRECT first, nothing usable, or garbage.
std::string ProxyFromList(const std::string& list, const std::string& scheme);

// Whether the host of `url` is on a WinHTTP bypass list: entries separated by
// ';' or white space, "*" wildcards, no case, "<local>" for host names
// without a dot, and an entry's scheme ("http://") or port (":8080") must
// match the URL's too when given.
bool BypassesProxy(const std::string& url, const std::string& bypassList);

// The proxy for `url` from a proxy list and its bypass list, as above; empty
// for none.
std::string ProxyForUrl(const std::string& url, const std::string& list,
                        const std::string& bypassList);
