// The desktop's own proxy settings, as a program started from a GNOME menu
// meets them: GSettings (here through GLib's key-file back end, in a
// sandbox of its own) with a manual proxy or a PAC file served on loopback,
// and libproxy's "pac+" address elsewhere. Each run is the headless
// downloader in a process of its own, since GIO reads the settings once per
// process. The download host does not resolve here: a request that arrives
// went through the proxy. A run that hangs is ended after a minute and
// fails.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "support/child_process.h"
#include "support/package_fixture.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace {

class DesktopProxyTest : public testing::Test {
  protected:
    DesktopProxyTest() : m_server(m_serverRoot.Path()) {
        m_package = PublishPackage(m_serverRoot.Path(), kPackageMain, "7.2", 4096, 3 * 4096, 4);
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        WriteFile(m_serverRoot / "proxy.pac",
                  "function FindProxyForURL(url, host) { return \"PROXY " + m_server.Address() +
                      "\"; }\n");
    }

    // GNOME's proxy settings, as GSettings keeps them.
    void DesktopSettings(const std::string& keys) {
        WriteFile(m_config / "glib-2.0/settings/keyfile", keys);
    }
    std::vector<std::string> Gnome(const std::string& httpProxy = "") const {
        return {"XDG_CURRENT_DESKTOP=GNOME", "GSETTINGS_BACKEND=keyfile",
                "XDG_CONFIG_HOME=" + m_config.Path(), "http_proxy=" + httpProxy, "no_proxy="};
    }
    // A whole download into a package folder of its own.
    ChildResult Run(const std::vector<std::string>& environment, const std::string& proxy = "",
                    bool sessionBus = false) {
        m_folders.push_back(std::make_unique<TempDir>());
        std::vector<std::string> argv = {VELMORA_HEADLESS_DOWNLOAD,
                                         *m_folders.back() / "VELMORA_QUINDLE_7", proxy, "20"};
        if (sessionBus) {
            argv.insert(argv.begin(), {"/usr/bin/dbus-run-session", "--"});
        }
        argv.insert(argv.begin(), {"/usr/bin/timeout", "60"});
        return RunChild(argv, 022, false, -1, environment);
    }
    bool Proxied() const {
        for (const auto& request : m_server.Requests()) {
            if (request.target.rfind("http://download.velmora.example/", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    TempDir m_serverRoot;
    TestHttpServer m_server;
    std::vector<std::unique_ptr<TempDir>> m_folders;
    TempDir m_config;
    PublishedPackage m_package;
};

TEST_F(DesktopProxyTest, GnomesManualProxyIsUsed) {
    DesktopSettings(
        "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='127.0.0.1'\nport=" +
        std::to_string(m_server.Port()) + "\n");
    const ChildResult result = Run(Gnome());
    EXPECT_EQ(result.exitStatus, 0) << result.errorText;
    EXPECT_TRUE(Proxied());
    EXPECT_EQ(ReadFile(*m_folders.back() / "7.2/velmora.exe"), m_package.installer);
}

TEST_F(DesktopProxyTest, APacFileServedOnLoopbackIsUsed) {
    const std::string pac = "http://" + m_server.Address() + "/proxy.pac";
    // GNOME runs PAC files in a helper started on the session bus.
    if (access("/usr/bin/dbus-run-session", X_OK) != 0) {
        GTEST_SKIP() << "needs a session bus (Debian's dbus-daemon)";
    }
    DesktopSettings("[system/proxy]\nmode='auto'\nautoconfig-url='" + pac + "'\n");
    const ChildResult gnome = Run(Gnome(), "", true);
    EXPECT_EQ(gnome.exitStatus, 0) << gnome.errorText;
    EXPECT_TRUE(Proxied()) << "GNOME's PAC file";
    EXPECT_GE(m_server.CountRequests("/proxy.pac"), 1);

    // Elsewhere libproxy takes a PAC file from the environment.
    m_server.ClearRequests();
    const ChildResult libproxy = Run({"XDG_CURRENT_DESKTOP=", "http_proxy=pac+" + pac});
    EXPECT_EQ(libproxy.exitStatus, 0) << libproxy.errorText;
    EXPECT_TRUE(Proxied()) << "libproxy's PAC file";
}

// A PAC host that takes the connection and never answers. Each run asks it
// once, gives the lookup up and goes on through the environment's proxy.
// Were every request to wait for it (GNOME's bus timeout, libproxy without
// end, or even the bound once per request of these twenty parts), the run
// would outlast its guard.
TEST_F(DesktopProxyTest, APacHostThatNeverAnswersIsAskedOnceAndTheEnvironmentsProxyApplies) {
    if (access("/usr/bin/dbus-run-session", X_OK) != 0) {
        GTEST_SKIP() << "needs a session bus (Debian's dbus-daemon)";
    }
    const PublishedPackage package =
        PublishPackage(m_serverRoot.Path(), kPackageMain, "7.3", 256, 20 * 256, 9);
    TempDir silentRoot;
    TestHttpServer silent(silentRoot.Path());
    silent.SetFault("/proxy.pac", TestHttpServer::Fault{.stallBeforeHeaders = true});
    const std::string pac = "http://" + silent.Address() + "/proxy.pac";

    // libproxy reads HTTP_PROXY where http_proxy is unset; for http libcurl
    // reads only the lower-case name, and then all_proxy.
    const ChildResult libproxy =
        Run({"XDG_CURRENT_DESKTOP=", "HTTP_PROXY=pac+" + pac, "all_proxy=" + m_server.Address()});
    ASSERT_EQ(libproxy.exitStatus, 0) << libproxy.errorText;
    EXPECT_TRUE(Proxied()) << "libproxy";
    EXPECT_TRUE(ReadFile(*m_folders.back() / "7.3/velmora.exe") == package.installer);
    EXPECT_EQ(silent.CountRequests("/proxy.pac"), 1) << "libproxy";

    m_server.ClearRequests();
    silent.ClearRequests();
    DesktopSettings("[system/proxy]\nmode='auto'\nautoconfig-url='" + pac + "'\n");
    const ChildResult gnome = Run(Gnome(m_server.Address()), "", true);
    EXPECT_EQ(gnome.exitStatus, 0) << gnome.errorText;
    EXPECT_TRUE(Proxied()) << "GNOME";
    EXPECT_TRUE(ReadFile(*m_folders.back() / "7.3/velmora.exe") == package.installer);
    EXPECT_EQ(silent.CountRequests("/proxy.pac"), 1) << "GNOME";
}

TEST_F(DesktopProxyTest, TheDialogsProxyWinsAndWithNothingSetRequestsGoDirect) {
    // The desktop names a proxy where nothing listens; the dialog's is used.
    DesktopSettings(
        "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='127.0.0.1'\nport=" +
        std::to_string(UnusedLoopbackPort()) + "\n");
    const ChildResult dialog = Run(Gnome(), m_server.Address());
    EXPECT_EQ(dialog.exitStatus, 0) << dialog.errorText;
    EXPECT_TRUE(Proxied());

    m_server.ClearRequests();
    DesktopSettings("[system/proxy]\nmode='none'\n");
    const ChildResult direct = Run(Gnome());
    EXPECT_EQ(direct.exitStatus, 2);
    EXPECT_EQ(direct.errorText.rfind("Velmora Quindle: Could not resolve host: "
                                     "download.velmora.example.",
                                     0),
              0u)
        << direct.errorText;
    EXPECT_TRUE(m_server.Requests().empty());
}

}  // namespace
