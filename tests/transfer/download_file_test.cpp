#include "transfer/download_file.h"

#include <gtest/gtest.h>

#include <thread>

#include "framework/file_utils.h"
#include "framework/progress_ctrl.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"

namespace {

using Fault = TestHttpServer::Fault;

class DownloadFileTest : public testing::Test {
  protected:
    DownloadFileTest() : m_server(m_root.Path()) {}

    // Fetches straight from the test server.
    int Fetch(const std::string& remote, const std::string& local, FileMode mode = FileMode::Binary,
              ProgressCtrl* bar = nullptr, const std::atomic<int>* stop = nullptr,
              FetchLimits limits = {}) {
        return DownloadFile("127.0.0.1", m_server.Port(), remote, local, mode, m_error, "", bar,
                            1024, stop, limits);
    }

    TempDir m_root;
    TempDir m_local;
    TestHttpServer m_server;
    std::string m_error = "untouched";
};

TEST_F(DownloadFileTest, FetchesABodyWithOneHttp10Get) {
    const std::string body = PatternBytes(100000, 1);
    WriteFile(m_root / "part.001", body);
    ASSERT_EQ(Fetch("/part.001", m_local / "part.001"), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "part.001"), body);
    EXPECT_EQ(m_error, "untouched");
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].version, "HTTP/1.0");
    EXPECT_EQ(requests[0].userAgent, "Velmora Quindle");
}

TEST_F(DownloadFileTest, EmptyBodyGivesAnEmptyFileAndALongerFileIsTruncated) {
    WriteFile(m_root / "empty", "");
    WriteFile(m_root / "short", "abc");
    WriteFile(m_local / "empty", "old content");
    WriteFile(m_local / "short", "a much longer old content");
    ASSERT_EQ(Fetch("/empty", m_local / "empty"), 1) << m_error;
    EXPECT_TRUE(FileExists(m_local / "empty"));
    EXPECT_EQ(ReadFile(m_local / "empty"), "");
    ASSERT_EQ(Fetch("/short", m_local / "short"), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "short"), "abc");
}

TEST_F(DownloadFileTest, ErrorStatusLeavesTheLocalFileUntouched) {
    for (int status : {404, 500, 503, 301}) {
        WriteFile(m_local / "kept", "earlier part");
        m_server.SetFault("/kept", Fault{.status = status, .body = "<html>error page</html>"});
        EXPECT_EQ(Fetch("/kept", m_local / "kept"), 0) << status;
        EXPECT_EQ(m_error, "Failed to connect to the server.") << status;
        EXPECT_EQ(ReadFile(m_local / "kept"), "earlier part") << status;
        m_error = "untouched";
    }
    EXPECT_EQ(Fetch("/missing", m_local / "missing"), 0);
    EXPECT_FALSE(FileExists(m_local / "missing")) << "no file for a 404 with an empty body either";
}

TEST_F(DownloadFileTest, GarbageInsteadOfAStatusLineFails) {
    m_server.SetFault("/x", Fault{.rawResponse = "SOMETHING ELSE\r\n\r\nbody"});
    EXPECT_EQ(Fetch("/x", m_local / "x"), 0);
    EXPECT_NE(m_error, "untouched");
    EXPECT_FALSE(m_error.empty());
    EXPECT_FALSE(FileExists(m_local / "x"));
}

TEST_F(DownloadFileTest, BodyShorterThanAnnouncedFails) {
    WriteFile(m_root / "part", PatternBytes(50000, 2));
    m_server.SetFault("/part", Fault{.closeAfterBytes = 20000});
    EXPECT_EQ(Fetch("/part", m_local / "part"), 0);
    EXPECT_NE(m_error, "untouched");
    EXPECT_FALSE(m_error.empty());

    m_server.SetFault("/part", Fault{.announceExtra = 10});
    m_error = "untouched";
    EXPECT_EQ(Fetch("/part", m_local / "part"), 0) << "all bytes sent, but fewer than announced";
    EXPECT_NE(m_error, "untouched");
}

TEST_F(DownloadFileTest, ProgressMovesFourUnitsPerBlockAlsoForAShortLastBlock) {
    ProgressCtrl bar;
    bar.SetRange(0, 1000);
    WriteFile(m_root / "p", PatternBytes(3 * 4096 + 1, 3));
    ASSERT_EQ(Fetch("/p", m_local / "p", FileMode::Binary, &bar), 1) << m_error;
    EXPECT_EQ(bar.GetPos(), 16);

    bar.SetPos(0);
    WriteFile(m_root / "q", PatternBytes(2 * 4096, 4));
    ASSERT_EQ(Fetch("/q", m_local / "q", FileMode::Binary, &bar), 1) << m_error;
    EXPECT_EQ(bar.GetPos(), 8);
}

TEST_F(DownloadFileTest, StopDuringTheBodyKeepsThePartialFileAndTheErrorText) {
    WriteFile(m_root / "slow", PatternBytes(200000, 5));
    m_server.SetFault("/slow", Fault{.dripIntervalMs = 20, .dripBytes = 1000});
    std::atomic<int> stop{0};
    ProgressCtrl bar;
    bar.SetRange(0, 100000);
    std::thread stopper([&] {
        WaitFor([&] { return bar.GetPos() > 0; }, "the body to start arriving");
        stop = 1;
    });
    EXPECT_EQ(Fetch("/slow", m_local / "slow", FileMode::Binary, &bar, &stop), 0);
    stopper.join();
    EXPECT_EQ(m_error, "untouched");
    const std::int64_t size = QueryFileSize(m_local / "slow");
    EXPECT_GT(size, 0);
    EXPECT_LT(size, 200000);
}

TEST_F(DownloadFileTest, StopIsSeenWhileTheServerSendsNothing) {
    WriteFile(m_root / "stall", PatternBytes(10000, 6));
    m_server.SetFault("/stall", Fault{.stallAfterBytes = 100});
    std::atomic<int> stop{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = 1;
    });
    // Were the stop not seen, the stall limit would end the fetch with its text.
    EXPECT_EQ(
        Fetch("/stall", m_local / "stall", FileMode::Binary, nullptr, &stop, {.stallMs = 30000}),
        0);
    stopper.join();
    EXPECT_EQ(m_error, "untouched");
}

TEST_F(DownloadFileTest, AStallFailsAfterTheStallLimit) {
    WriteFile(m_root / "stall", PatternBytes(10000, 7));
    m_server.SetFault("/stall", Fault{.stallAfterBytes = 100});
    EXPECT_EQ(
        Fetch("/stall", m_local / "stall", FileMode::Binary, nullptr, nullptr, {.stallMs = 1000}),
        0);
    EXPECT_EQ(m_error, "The server sent nothing for 1 second; the connection timed out.");

    m_server.SetFault("/stall", Fault{.stallBeforeHeaders = true});
    m_error.clear();
    EXPECT_EQ(
        Fetch("/stall", m_local / "quiet", FileMode::Binary, nullptr, nullptr, {.stallMs = 1000}),
        0);
    EXPECT_EQ(m_error, "The server sent nothing for 1 second; the connection timed out.");
    EXPECT_FALSE(FileExists(m_local / "quiet"));
}

TEST_F(DownloadFileTest, ASlowButSteadyDripIsNotAStall) {
    WriteFile(m_root / "drip", PatternBytes(12, 8));
    m_server.SetFault("/drip", Fault{.dripIntervalMs = 300, .dripBytes = 2});
    EXPECT_EQ(
        Fetch("/drip", m_local / "drip", FileMode::Binary, nullptr, nullptr, {.stallMs = 1000}), 1)
        << m_error;
    EXPECT_EQ(ReadFile(m_local / "drip"), PatternBytes(12, 8));
}

TEST_F(DownloadFileTest, ThroughTheProxySettingTheTargetIsAbsolute) {
    WriteFile(m_root / "download/sites", "download.velmora.example");
    ASSERT_EQ(DownloadFile("download.velmora.example", 80, "/download/sites", m_local / "sites.txt",
                           FileMode::Text, m_error, m_server.Address(), nullptr, 1024, nullptr),
              1)
        << m_error;
    EXPECT_EQ(ReadFile(m_local / "sites.txt"), "download.velmora.example");
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://download.velmora.example/download/sites");
    EXPECT_EQ(requests[0].host, "download.velmora.example");
}

TEST_F(DownloadFileTest, AnEmptyProxySettingUsesTheSystemsProxy) {
    WriteFile(m_root / "f", "via environment");
    SetEnvironment("http_proxy", ("http://" + m_server.Address()));
    const int result = DownloadFile("download.velmora.example", 80, "/f", m_local / "f",
                                    FileMode::Binary, m_error, "", nullptr, 1024, nullptr);
    UnsetEnvironment("http_proxy");
    ASSERT_EQ(result, 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "f"), "via environment");
    EXPECT_EQ(m_server.Requests().at(0).target, "http://download.velmora.example/f");
}

TEST_F(DownloadFileTest, TextModeEndsLinesAsThePlatformDoesAndAsSentKeepsTheBytes) {
    const std::string sent = "first\nsecond\r\n";
    WriteFile(m_root / "t", sent);
#ifdef _WIN32
    const std::string stored = "first\r\nsecond\r\r\n";
#else
    const std::string stored = sent;
#endif
    ASSERT_EQ(Fetch("/t", m_local / "t", FileMode::Text), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "t"), stored);
    // A file whose checksum is checked keeps the server's bytes.
    ASSERT_EQ(Fetch("/t", m_local / "s", FileMode::AsSent), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "s"), sent);
}

TEST_F(DownloadFileTest, NamesAreSentLiterally) {
    // Served from memory: Windows allows no "?" in a file's name.
    m_server.SetFault("/a b?c#d%e", Fault{.body = "odd name", .replaceBody = true});
    ASSERT_EQ(Fetch("/a b?c#d%e", m_local / "odd"), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "odd"), "odd name");
}

TEST_F(DownloadFileTest, LocalFileThatCannotBeCreated) {
    WriteFile(m_root / "f", "data");
    const std::string path = m_local / "no/such/folder/f";
    EXPECT_EQ(Fetch("/f", path), 0);
    EXPECT_EQ(m_error, "Cannot create file: " + path);

    TempDir outside;
    WriteFile(outside / "target", "precious");
    if (!MakeSymbolicLink(outside / "target", m_local / "link")) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
    EXPECT_EQ(Fetch("/f", m_local / "link"), 0) << "a link at the file's place is not followed";
    EXPECT_EQ(m_error, "Cannot create file: " + m_local / "link");
    EXPECT_EQ(ReadFile(outside / "target"), "precious");
}

// A part's name comes from the server: a direction control in it would turn
// the rest of the message around.
TEST_F(DownloadFileTest, AFileThatCannotBeCreatedIsNamedEscaped) {
    WriteFile(m_root / "f", "data");
    EXPECT_EQ(Fetch("/f", m_local / "no/a\xE2\x80\xAE_exe.txt"), 0);
    EXPECT_EQ(m_error, "Cannot create file: " + m_local / "no/a\\u202E_exe.txt");
}

TEST_F(DownloadFileTest, MissingHostFailsWithoutTouchingAnything) {
    EXPECT_EQ(DownloadFile("", 80, "/f", m_local / "f", FileMode::Binary, m_error,
                           m_server.Address(), nullptr, 1024, nullptr),
              0);
    EXPECT_EQ(m_error, "Host name not specified for connection");
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_TRUE(m_local.Listing().empty());
}

TEST_F(DownloadFileTest, RefusedConnectionGivesLibcurlsText) {
    EXPECT_EQ(DownloadFile("127.0.0.1", UnusedLoopbackPort(), "/f", m_local / "f", FileMode::Binary,
                           m_error, "", nullptr, 1024, nullptr),
              0);
    EXPECT_NE(m_error.find("onnect"), std::string::npos) << m_error;
    EXPECT_FALSE(FileExists(m_local / "f"));
}

TEST_F(DownloadFileTest, RedirectsAreFollowedOnlyToHttp) {
    WriteFile(m_root / "real", "moved here");
    m_server.SetFault("/old", Fault{.status = 302, .location = "/real"});
    ASSERT_EQ(Fetch("/old", m_local / "f"), 1) << m_error;
    EXPECT_EQ(ReadFile(m_local / "f"), "moved here");

    m_server.SetFault("/old", Fault{.status = 302, .location = "file:///etc/passwd"});
    EXPECT_EQ(Fetch("/old", m_local / "g"), 0);
    EXPECT_FALSE(m_error.empty());
    EXPECT_FALSE(FileExists(m_local / "g"));

    m_server.SetFault("/loop", Fault{.status = 302, .location = "/loop"});
    EXPECT_EQ(Fetch("/loop", m_local / "h"), 0);
    EXPECT_LE(m_server.CountRequests("/loop"), 11) << "at most ten redirects";
    EXPECT_FALSE(FileExists(m_local / "h"));
}

}  // namespace
