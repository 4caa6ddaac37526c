// The desktop's proxy settings name a PAC file on a host that takes the
// connection and never answers (libproxy's "pac+" address). The window must
// open all the same, the download go on through the environment's proxy,
// and Stop end a worker whose lookup waits.
//
// GIO chooses its proxy resolver once per process, and a lookup given up on
// is not repeated in that process; so each case runs in a process of its
// own: this test binary again, told by kInChild to run the case. The
// binary's main clears the proxy variables, so the child sets them itself,
// before anything looks up a proxy.

#include <unistd.h>

#include <cstdlib>

#include "main_dialog_fixture.h"
#include "support/child_process.h"

namespace {

using Fault = TestHttpServer::Fault;
using namespace res;

constexpr const char* kInChild = "VELMORA_PROXY_LOOKUP_CASE";
// Ends a child that hangs, so that the parent reports it.
constexpr unsigned kHangGuardSeconds = 60;

class ProxyLookupTest : public MainDialogTest {
  protected:
    ProxyLookupTest() : m_pacHost(m_pacRoot.Path()) {
        m_pacHost.SetFault("/proxy.pac", Fault{.stallBeforeHeaders = true});
    }

    // In the child: sets up the desktop's and the environment's proxies and
    // returns true. In the parent: runs this case in a child and checks it
    // passed.
    bool InChild() {
        if (std::getenv(kInChild) != nullptr) {
            alarm(kHangGuardSeconds);
            // libproxy reads HTTP_PROXY where http_proxy is unset; for http
            // libcurl reads only the lower-case name, and then all_proxy.
            const std::string pac = "pac+http://" + m_pacHost.Address() + "/proxy.pac";
            setenv("HTTP_PROXY", pac.c_str(), 1);
            setenv("all_proxy", m_server.Address().c_str(), 1);
            return true;
        }
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        const std::string filter =
            std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
        const ChildResult child =
            RunChild({"/proc/self/exe", filter}, 022, false, -1,
                     {std::string(kInChild) + "=1",
                      "XDG_CURRENT_DESKTOP=", "GIO_USE_PROXY_RESOLVER=libproxy"});
        EXPECT_EQ(child.exitStatus, 0)
            << "the case in a process of its own (-1: killed, by its guard or a sanitizer)\n"
            << child.errorText;
        return false;
    }

    TempDir m_pacRoot;
    TestHttpServer m_pacHost;
};

TEST_F(ProxyLookupTest, TheWindowOpensAndDownloadsThroughTheEnvironmentsProxy) {
    if (!InChild()) {
        return;
    }
    const PublishedPackage package = Publish(kPackageMain, 6);
    m_server.SetFault(package.RemotePath(2), Fault{.stallAfterBytes = 0, .times = 1});
    auto dialog = MakeDialog();
    dialog->m_download.SetProxy("");
    RunModal(*dialog, [&] {
        // The preparation asked the desktop once, gave up and went on.
        EXPECT_EQ(dialog->m_download.m_bNeedPrepare, 0);
        EXPECT_EQ(dialog->GetDlgItemText(IDC_VERSION), "7.6");
        EXPECT_EQ(m_pacHost.CountRequests("/proxy.pac"), 1);

        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return m_server.CountRequests(package.RemotePath(2)) > 0; },
                  "the third part to be asked for");
        Click(*dialog, IDC_STOP);
        WaitForWorker(*dialog);
        Click(*dialog, IDC_DOWNLOAD);
        WaitForWorker(*dialog);
        EXPECT_TRUE(ReadFile(VersionFolder() + "/velmora.exe") == package.installer);
        EXPECT_EQ(m_pacHost.CountRequests("/proxy.pac"), 1) << "the desktop is asked once a run";
        EXPECT_TRUE(m_messages.Texts().empty());
        Click(*dialog, IDOK);
    });
}

// Both open with the dialog's proxy, so that the worker is the first to ask
// the desktop.
TEST_F(ProxyLookupTest, StopEndsAWorkerWhoseLookupWaitsAndTheNextDownloadGoesOn) {
    if (!InChild()) {
        return;
    }
    const PublishedPackage package = Publish(kPackageMain, 6);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        dialog->m_download.SetProxy("");
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return m_pacHost.CountRequests("/proxy.pac") > 0; },
                  "the desktop's PAC file to be asked for");
        Click(*dialog, IDC_STOP);
        WaitForWorker(*dialog);
        EXPECT_TRUE(m_messages.Texts().empty());

        Click(*dialog, IDC_DOWNLOAD);
        WaitForWorker(*dialog);
        EXPECT_TRUE(ReadFile(VersionFolder() + "/velmora.exe") == package.installer);
        EXPECT_TRUE(m_messages.Texts().empty());
        Click(*dialog, IDOK);
    });
}

TEST_F(ProxyLookupTest, ClosingEndsAWorkerWhoseLookupWaits) {
    if (!InChild()) {
        return;
    }
    Publish(kPackageMain, 6);
    auto dialog = MakeDialog();
    const int result = RunModal(*dialog, [&] {
        dialog->m_download.SetProxy("");
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil([&] { return m_pacHost.CountRequests("/proxy.pac") > 0; },
                  "the desktop's PAC file to be asked for");
        dialog->CloseWindow();
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(dialog->m_download.IsDownloading());
    EXPECT_TRUE(m_messages.Texts().empty());
}

}  // namespace
