// The desktop's proxy on Windows, as WinHTTP reads the current user's
// Internet settings: a PAC file served on loopback, the fixed proxy with its
// bypass list, and a PAC host that takes the connection and never answers.
//
// WinHTTP takes the settings from the binary "DefaultConnectionSettings"
// under Internet Settings\Connections. Wine (8.0) reads that value alone and
// ignores ProxyEnable, ProxyServer, ProxyOverride and AutoConfigURL; they are
// written as well, the same, since Windows keeps them beside it.
//
// The tests' settings are this process's own: HKEY_CURRENT_USER is mapped to
// a scratch key, so neither the user nor the tests that ctest runs beside
// these (downloads that ask the desktop for a proxy) see them. Where WinHTTP
// does not read through that mapping, the user's own settings are changed,
// one test process at a time, and all put back at the end.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/desktop_proxy.h"
#include "transfer/download_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr wchar_t kSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kConnectionSettings[] = L"DefaultConnectionSettings";

// The binary value's layout as Windows writes it: version, a counter bumped
// on every change, flags, then the proxy, bypass list and PAC address, each
// a byte count and its bytes.
constexpr DWORD kLayoutVersion = 0x46;
constexpr DWORD kDirectFlag = 0x1;
constexpr DWORD kFixedProxyFlag = 0x2;
constexpr DWORD kPacFileFlag = 0x4;

// A fixed proxy that is never connected to: the lookup only names it.
constexpr char kFixedProxy[] = "127.0.0.1:3128";
constexpr char kDownloadUrl[] = "http://download.velmora.example/7.2/velmora.exe";

// Lookups that should answer get a bound no slow Wine start-up reaches: one
// that ran out would make every later lookup of the process answer none.
constexpr ProxyLookupLimits kPatient{.timeoutMs = 60000};
// Far above the bounds given, far below what ignoring them would take.
constexpr auto kPromptly = 20s;

// The Internet settings WinHTTP reads in this process while it lives: in a
// scratch key of the process's own where WinHTTP reads through the mapping,
// else the user's own, read first and nothing written unless that worked.
class ScopedInternetSettings {
  public:
    struct Settings {
        std::string pacUrl;
        std::string proxy;   // "host:port"
        std::string bypass;  // "*.example;<local>"
    };

    ScopedInternetSettings() {
        if (MapCurrentUser()) {
            m_ready = true;
            return;
        }
        // Other test processes may change the user's settings too.
        m_lock = CreateMutexW(nullptr, FALSE, L"Local\\Velmora Quindle Internet settings test");
        const DWORD locked = m_lock != nullptr ? WaitForSingleObject(m_lock, 60000) : WAIT_FAILED;
        if (locked != WAIT_OBJECT_0 && locked != WAIT_ABANDONED) {
            return;
        }
        m_locked = true;
        m_connectionsKeyExisted = KeyExists(kConnectionsKey);
        m_ready = Save(kConnectionsKey, kConnectionSettings) &&
                  Save(kSettingsKey, L"ProxyEnable") && Save(kSettingsKey, L"ProxyServer") &&
                  Save(kSettingsKey, L"ProxyOverride") && Save(kSettingsKey, L"AutoConfigURL");
        // Windows counts on from the counter of the value it finds.
        if (m_ready && m_values.front().present && m_values.front().data.size() >= 8) {
            std::memcpy(&m_counter, m_values.front().data.data() + 4, sizeof m_counter);
        }
    }
    ~ScopedInternetSettings() { Restore(); }
    ScopedInternetSettings(const ScopedInternetSettings&) = delete;
    ScopedInternetSettings& operator=(const ScopedInternetSettings&) = delete;

    bool Ready() const { return m_ready; }

    bool Apply(const Settings& settings) {
        if (!m_ready) {
            return false;
        }
        m_changed = true;
        return Write(settings);
    }

    // Puts back what was there; false if some of it could not be.
    bool Restore() {
        bool restored = Unmap();
        if (m_changed && m_locked) {
            for (const Value& value : m_values) {
                if (value.present) {
                    restored &= Write(value.key, value.name, value.type, value.data);
                } else {
                    restored &= Remove(value.key, value.name);
                }
            }
            if (!m_connectionsKeyExisted) {
                const LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, kConnectionsKey);
                restored &= status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
            }
        }
        m_changed = false;
        m_ready = false;
        if (m_locked) {
            ReleaseMutex(m_lock);
            m_locked = false;
        }
        if (m_lock != nullptr) {
            CloseHandle(m_lock);
            m_lock = nullptr;
        }
        return restored;
    }

  private:
    struct Value {
        const wchar_t* key;
        const wchar_t* name;
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    // HKEY_CURRENT_USER of this process to a volatile scratch key, if
    // WinHTTP then reads a proxy that only the scratch key names.
    bool MapCurrentUser() {
        m_scratch =
            L"Software\\Velmora Quindle test settings " + std::to_wstring(GetCurrentProcessId());
        if (RegCreateKeyExW(HKEY_CURRENT_USER, m_scratch.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &m_scratchKey, nullptr) != ERROR_SUCCESS) {
            m_scratchKey = nullptr;
            m_scratch.clear();
            return false;
        }
        // Below a volatile key every key must be volatile too.
        m_keyOptions = REG_OPTION_VOLATILE;
        m_mapped = RegOverridePredefKey(HKEY_CURRENT_USER, m_scratchKey) == ERROR_SUCCESS;
        const std::string marker = "127.0.0.1:9";
        if (m_mapped && Write({.proxy = marker}) && CurrentProxy() == marker) {
            return true;
        }
        Unmap();
        return false;
    }

    bool Unmap() {
        bool unmapped = true;
        if (m_mapped) {
            unmapped = RegOverridePredefKey(HKEY_CURRENT_USER, nullptr) == ERROR_SUCCESS;
            m_mapped = false;
        }
        if (m_scratchKey != nullptr) {
            RegCloseKey(m_scratchKey);
            m_scratchKey = nullptr;
            unmapped &= RegDeleteTreeW(HKEY_CURRENT_USER, m_scratch.c_str()) == ERROR_SUCCESS;
            m_scratch.clear();
        }
        m_keyOptions = 0;
        return unmapped;
    }

    static std::string CurrentProxy() {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
        if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
            return {};
        }
        std::string proxy;
        for (const wchar_t* c = config.lpszProxy; c != nullptr && *c != L'\0'; ++c) {
            proxy += static_cast<char>(*c);
        }
        for (LPWSTR text : {config.lpszProxy, config.lpszProxyBypass, config.lpszAutoConfigUrl}) {
            if (text != nullptr) {
                GlobalFree(text);
            }
        }
        return proxy;
    }

    static bool KeyExists(const wchar_t* key) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(handle);
        return true;
    }

    bool Save(const wchar_t* key, const wchar_t* name) {
        Value value{key, name};
        HKEY handle = nullptr;
        LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle);
        if (status == ERROR_SUCCESS) {
            DWORD size = 0;
            status = RegQueryValueExW(handle, name, nullptr, &value.type, nullptr, &size);
            if (status == ERROR_SUCCESS) {
                value.data.resize(size);
                status =
                    RegQueryValueExW(handle, name, nullptr, &value.type, value.data.data(), &size);
                value.data.resize(size);
                value.present = status == ERROR_SUCCESS;
            }
            RegCloseKey(handle);
        }
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return false;
        }
        m_values.push_back(std::move(value));
        return true;
    }

    // Automatic detection stays off: its search for a WPAD host would leave
    // the loopback.
    bool Write(const Settings& settings) {
        DWORD flags = kDirectFlag;
        flags |= settings.proxy.empty() ? 0 : kFixedProxyFlag;
        flags |= settings.pacUrl.empty() ? 0 : kPacFileFlag;
        std::vector<BYTE> blob;
        for (DWORD word : {kLayoutVersion, ++m_counter, flags}) {
            AppendWord(blob, word);
        }
        for (const std::string* text : {&settings.proxy, &settings.bypass, &settings.pacUrl}) {
            AppendWord(blob, static_cast<DWORD>(text->size()));
            blob.insert(blob.end(), text->begin(), text->end());
        }
        // Windows' own value goes on with fields of detection results.
        blob.resize(blob.size() + 32, 0);

        const DWORD enabled = settings.proxy.empty() ? 0 : 1;
        const auto* enabledBytes = reinterpret_cast<const BYTE*>(&enabled);
        return Write(kConnectionsKey, kConnectionSettings, REG_BINARY, blob) &&
               Write(kSettingsKey, L"ProxyEnable", REG_DWORD,
                     std::vector<BYTE>(enabledBytes, enabledBytes + sizeof enabled)) &&
               WriteText(kSettingsKey, L"ProxyServer", settings.proxy) &&
               WriteText(kSettingsKey, L"ProxyOverride", settings.bypass) &&
               WriteText(kSettingsKey, L"AutoConfigURL", settings.pacUrl);
    }

    bool Write(const wchar_t* key, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, m_keyOptions, KEY_SET_VALUE,
                            nullptr, &handle, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const LSTATUS status =
            RegSetValueExW(handle, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(handle);
        return status == ERROR_SUCCESS;
    }

    // Empty text removes the value, as the settings dialog leaves none.
    bool WriteText(const wchar_t* key, const wchar_t* name, const std::string& text) {
        if (text.empty()) {
            return Remove(key, name);
        }
        const std::wstring wide(text.begin(), text.end());  // ASCII only here
        const auto* bytes = reinterpret_cast<const BYTE*>(wide.c_str());
        return Write(key, name, REG_SZ,
                     std::vector<BYTE>(bytes, bytes + (wide.size() + 1) * sizeof(wchar_t)));
    }

    static bool Remove(const wchar_t* key, const wchar_t* name) {
        HKEY handle = nullptr;
        LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &handle);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueW(handle, name);
            RegCloseKey(handle);
        }
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }

    static void AppendWord(std::vector<BYTE>& blob, DWORD word) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&word);
        blob.insert(blob.end(), bytes, bytes + sizeof word);
    }

    std::wstring m_scratch;
    HKEY m_scratchKey = nullptr;
    bool m_mapped = false;
    DWORD m_keyOptions = 0;
    HANDLE m_lock = nullptr;
    bool m_locked = false;
    std::vector<Value> m_values;
    bool m_ready = false;
    bool m_changed = false;
    bool m_connectionsKeyExisted = false;
    DWORD m_counter = 0;
};

class DesktopProxyWin32Test : public testing::Test {
  protected:
    DesktopProxyWin32Test() : m_server(m_root.Path()) {}

    void SetUp() override {
        ASSERT_TRUE(m_settings.Ready()) << "the Internet settings could not be read, so none "
                                           "are changed";
    }
    void TearDown() override {
        EXPECT_TRUE(m_settings.Restore()) << "the Internet settings were not all put back";
    }

    // A PAC file on `server` that sends everything through `proxy`, but for
    // the host "mirror.direct.example"; its address.
    static std::string ServePac(const TestHttpServer& server, const std::string& name,
                                const std::string& proxy) {
        WriteFile(server.Root() / name,
                  "function FindProxyForURL(url, host) {\n"
                  "    if (host == \"mirror.direct.example\") return \"DIRECT\";\n"
                  "    return \"PROXY " +
                      proxy + "\";\n}\n");
        return "http://" + server.Address() + "/" + name;
    }

    static double Seconds(Clock::duration duration) {
        return std::chrono::duration<double>(duration).count();
    }

    ScopedInternetSettings m_settings;
    TempDir m_root;
    TestHttpServer m_server;
};

TEST_F(DesktopProxyWin32Test, APacFilesAnswerComesBeforeTheFixedProxy) {
    const std::string pac = ServePac(m_server, "proxy.pac", m_server.Address());
    // The fixed proxy beside it would give another answer, were it asked.
    ASSERT_TRUE(m_settings.Apply({.pacUrl = pac, .proxy = kFixedProxy}));

    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), "http://" + m_server.Address());
    EXPECT_GE(m_server.CountRequests("/proxy.pac"), 1);
    // The PAC file's DIRECT is none, not a reason to take the fixed proxy.
    EXPECT_EQ(DesktopProxyFor("http://mirror.direct.example/7.2/velmora.exe", kPatient), "");
}

TEST_F(DesktopProxyWin32Test, TheFixedProxyAppliesOutsideItsBypassListAndWithoutAPacFile) {
    const std::string bypass = "*.internal.example;<local>";
    ASSERT_TRUE(m_settings.Apply({.proxy = kFixedProxy, .bypass = bypass}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), std::string("http://") + kFixedProxy);
    EXPECT_EQ(DesktopProxyFor("http://mirror.internal.example/7.2/velmora.exe", kPatient), "");
    EXPECT_EQ(DesktopProxyFor("http://intranet/7.2/velmora.exe", kPatient), "");

    // A PAC file that is not there runs no script: the fixed proxy applies.
    ASSERT_TRUE(m_settings.Apply({.pacUrl = "http://" + m_server.Address() + "/missing.pac",
                                  .proxy = kFixedProxy,
                                  .bypass = bypass}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), std::string("http://") + kFixedProxy);
    EXPECT_GE(m_server.CountRequests("/missing.pac"), 1);

    ASSERT_TRUE(m_settings.Apply({}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), "");
}

// Last of the suite: once a lookup ran out of time, none is made again in
// this process.
TEST_F(DesktopProxyWin32Test, APacHostThatNeverAnswersCostsOneBoundAndThenIsNotAskedAgain) {
    const std::string answering = ServePac(m_server, "proxy.pac", m_server.Address());
    TempDir silentRoot;
    TestHttpServer silent(silentRoot.Path());
    silent.SetFault("/silent.pac", TestHttpServer::Fault{.stallBeforeHeaders = true});
    // The fixed proxy beside it: what a PAC file that cannot be had in time
    // falls back to, as Windows does.
    const ScopedInternetSettings::Settings stalled{
        .pacUrl = "http://" + silent.Address() + "/silent.pac", .proxy = kFixedProxy};

    // Stopped while WinHTTP waits for the PAC file: none, at once.
    ASSERT_TRUE(m_settings.Apply(stalled));
    std::atomic<int> stop{0};
    std::thread stopper([&] {
        const auto until = Clock::now() + kPromptly;
        while (silent.CountRequests("/silent.pac") == 0 && Clock::now() < until) {
            std::this_thread::sleep_for(10ms);
        }
        stop.store(1);
    });
    Clock::time_point start = Clock::now();
    const std::string stopped = DesktopProxyFor(kDownloadUrl, {.timeoutMs = 60000, .stop = &stop});
    const Clock::duration stoppedAfter = Clock::now() - start;
    stopper.join();
    EXPECT_EQ(stopped, "");
    EXPECT_LT(stoppedAfter, kPromptly) << Seconds(stoppedAfter) << " s";
    EXPECT_GE(silent.CountRequests("/silent.pac"), 1);

    // While WinHTTP still waits on that one, no lookup starts beside it; a
    // fixed proxy still applies.
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), "");
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering, .proxy = kFixedProxy}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), std::string("http://") + kFixedProxy);
    EXPECT_EQ(m_server.CountRequests("/proxy.pac"), 0);
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering}));

    // A stopped lookup is no reason to give the desktop up: once its host
    // hangs up, the PAC file that answers is asked.
    silent.Stop();
    EXPECT_TRUE(WaitFor(
        [&] { return DesktopProxyFor(kDownloadUrl, kPatient) == "http://" + m_server.Address(); },
        "the answering PAC file after the stopped lookup ended", 60s, {}, 100ms));

    // Out of time, with a small bound: the fixed proxy, within about the
    // bound.
    TestHttpServer silentAgain(silentRoot.Path());
    silentAgain.SetFault("/silent.pac", TestHttpServer::Fault{.stallBeforeHeaders = true});
    ASSERT_TRUE(m_settings.Apply(
        {.pacUrl = "http://" + silentAgain.Address() + "/silent.pac", .proxy = kFixedProxy}));
    start = Clock::now();
    const std::string timedOut = DesktopProxyFor(kDownloadUrl, {.timeoutMs = 500});
    const Clock::duration timedOutAfter = Clock::now() - start;
    EXPECT_EQ(timedOut, std::string("http://") + kFixedProxy);
    EXPECT_LT(timedOutAfter, kPromptly) << Seconds(timedOutAfter) << " s";
    EXPECT_TRUE(WaitFor([&] { return silentAgain.CountRequests("/silent.pac") >= 1; },
                        "the PAC request of the lookup that ran out of time", kPromptly));

    // For the rest of the run the PAC file is not asked for: not even once
    // that lookup has ended and the settings name one that answers. The
    // fixed proxy still is what they name beside it.
    silentAgain.Stop();
    m_server.ClearRequests();
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering}));
    const auto until = Clock::now() + 3s;
    do {
        ASSERT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), "");
        std::this_thread::sleep_for(100ms);
    } while (Clock::now() < until);
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering, .proxy = kFixedProxy}));
    EXPECT_EQ(DesktopProxyFor(kDownloadUrl, kPatient), std::string("http://") + kFixedProxy);
    EXPECT_EQ(m_server.CountRequests("/proxy.pac"), 0);

    // A whole fetch goes through that fixed proxy (here the loopback server
    // playing one), not straight to a host that cannot be reached.
    TempDir local;
    WriteFile(m_root / "7.2/velmora.exe", "through the fixed proxy");
    ASSERT_TRUE(m_settings.Apply({.pacUrl = answering, .proxy = m_server.Address()}));
    std::string error;
    ASSERT_EQ(
        DownloadFile("download.velmora.example", 80, "/7.2/velmora.exe", local / "velmora.exe",
                     FileMode::Binary, error, "", nullptr, 1024, nullptr),
        1)
        << error;
    EXPECT_EQ(ReadFile(local / "velmora.exe"), "through the fixed proxy");
    EXPECT_EQ(m_server.CountRequests("/proxy.pac"), 0);
}

}  // namespace
