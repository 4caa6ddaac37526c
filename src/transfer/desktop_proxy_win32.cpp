// The desktop's proxy on Windows: the user's Internet settings as WinHTTP
// reads them, a PAC file and auto-detection (WPAD) included.

#include <windows.h>
// After windows.h, which it needs.
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "transfer/desktop_proxy.h"
#include "transfer/proxy_bypass.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a waiting lookup goes without looking at the stop flag.
constexpr auto kStopCheck = std::chrono::milliseconds(50);

// Set when a lookup did not answer in time. A PAC host that never answers
// then costs the run one bound, not one per request.
std::atomic<bool> g_lookupsGivenUp{false};

// Set while a lookup's thread runs. WinHTTP's lookup cannot be cancelled, so
// one given up on runs to its end, and no other starts beside it meanwhile.
std::atomic<bool> g_lookupRuns{false};

// One caller at a time; others wait within their own bound.
std::timed_mutex g_callerMutex;

bool Stopped(const std::atomic<int>* stop) {
    return stop != nullptr && stop->load() != 0;
}

std::wstring Wide(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') {
        return {};
    }
    // -1: up to and with the terminating null, which is dropped after.
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

void FreeWinHttpString(LPWSTR text) {
    if (text != nullptr) {
        GlobalFree(text);
    }
}

// What a lookup in WinHTTP's auto-proxy gives, handed from its thread.
struct AutoLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool answered = false;  // a PAC file was found and run
    std::string proxy;      // its choice; empty for DIRECT
};

// On the lookup's own thread: everything it uses is its own or shared.
void RunAutoLookup(const std::shared_ptr<AutoLookup>& lookup, const std::string& url,
                   const std::wstring& pacUrl, bool autoDetect, long timeoutMs) {
    bool answered = false;
    std::string proxy;
    HINTERNET session = WinHttpOpen(L"Velmora Quindle", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr) {
        // The bound for WinHTTP's own connections too. Its PAC download may
        // ignore it (Wine's does): the caller's wait is bounded regardless.
        const int bound = static_cast<int>(std::min<long>(timeoutMs, INT_MAX));
        WinHttpSetTimeouts(session, bound, bound, bound, bound);
        const std::wstring wideUrl = Wide(url);
        WINHTTP_AUTOPROXY_OPTIONS options{};
        if (!pacUrl.empty()) {
            options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = pacUrl.c_str();
        }
        if (autoDetect) {
            options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags =
                WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info{};
        if (WinHttpGetProxyForUrl(session, wideUrl.c_str(), &options, &info)) {
            answered = true;
            if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NO_PROXY) {
                proxy = ProxyForUrl(url, Narrow(info.lpszProxy), Narrow(info.lpszProxyBypass));
            }
            FreeWinHttpString(info.lpszProxy);
            FreeWinHttpString(info.lpszProxyBypass);
        }
        WinHttpCloseHandle(session);
    }
    {
        std::lock_guard lock(lookup->mutex);
        lookup->done = true;
        lookup->answered = answered;
        lookup->proxy = proxy;
        // Before the caller wakes, so that its next lookup may start.
        g_lookupRuns.store(false);
    }
    lookup->finished.notify_all();
}

// The auto-proxy's answer for `url`, or nothing when no PAC file could be
// had and run, within the bound or at all, so that the fixed proxy of the
// same settings applies, as Windows itself falls back to it.
std::optional<std::string> AutoProxyFor(const std::string& url, const std::string& pacUrl,
                                        bool autoDetect, Clock::time_point deadline,
                                        const std::atomic<int>* stop) {
    const long timeoutMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (timeoutMs <= 0) {
        return std::nullopt;
    }
    auto lookup = std::make_shared<AutoLookup>();
    g_lookupRuns.store(true);
    try {
        std::thread(&RunAutoLookup, lookup, url, Wide(pacUrl), autoDetect, timeoutMs).detach();
    } catch (const std::system_error&) {
        g_lookupRuns.store(false);
        return std::nullopt;
    }
    std::unique_lock lock(lookup->mutex);
    while (!lookup->done && Clock::now() < deadline && !Stopped(stop)) {
        lookup->finished.wait_until(lock, std::min(deadline, Clock::now() + kStopCheck));
    }
    if (!lookup->done) {
        if (!Stopped(stop)) {
            g_lookupsGivenUp.store(true);
        }
        return std::nullopt;
    }
    if (!lookup->answered) {
        return std::nullopt;
    }
    return lookup->proxy;
}

}  // namespace

std::string DesktopProxyFor(const std::string& url, const ProxyLookupLimits& limits) {
    if (limits.timeoutMs <= 0 || Stopped(limits.stop)) {
        return {};
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.timeoutMs);
    std::unique_lock caller(g_callerMutex, std::defer_lock);
    while (!caller.try_lock_for(kStopCheck)) {
        if (Clock::now() >= deadline || Stopped(limits.stop)) {
            return {};
        }
    }
    // A PAC host that did not answer in time costs the run one bound; a
    // lookup still running is not joined by another. The fixed proxy of the
    // settings still applies meanwhile.
    const bool automaticAllowed = !g_lookupsGivenUp.load() && !g_lookupRuns.load();

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        return {};
    }
    const std::string manual = Narrow(config.lpszProxy);
    const std::string bypass = Narrow(config.lpszProxyBypass);
    const std::string pacUrl = Narrow(config.lpszAutoConfigUrl);
    const bool autoDetect = config.fAutoDetect != FALSE;
    FreeWinHttpString(config.lpszProxy);
    FreeWinHttpString(config.lpszProxyBypass);
    FreeWinHttpString(config.lpszAutoConfigUrl);

    // As Windows itself reads the settings: the automatic ones first, the
    // manual proxy when they find no PAC file or cannot have one in time.
    if (automaticAllowed && (!pacUrl.empty() || autoDetect)) {
        if (std::optional<std::string> proxy =
                AutoProxyFor(url, pacUrl, autoDetect, deadline, limits.stop)) {
            return *proxy;
        }
        if (Stopped(limits.stop)) {
            return {};
        }
    }
    return ProxyForUrl(url, manual, bypass);
}
