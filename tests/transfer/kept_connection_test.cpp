// Fetches on a connection kept from the one before: one connection where the
// server keeps it, none through a proxy, and every fault of a fetch the same
// as on a connection of its own.

#include "transfer/kept_connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "transfer/download_file.h"

namespace {

using Fault = TestHttpServer::Fault;

class KeptConnectionTest : public testing::Test {
  protected:
    KeptConnectionTest() : m_server(m_root.Path()) {
        m_server.SetKeepAlive(true);
        for (int i = 0; i < 3; ++i) {
            WriteFile(m_root / ("f" + std::to_string(i)), PatternBytes(50000, i + 1));
        }
    }

    struct Outcome {
        int result;
        std::string error;
        std::string file;  // a refused range shows in the error
        bool complete;
    };

    // Fetches straight from the test server, on `connection` when given.
    Outcome Fetch(const std::string& name, KeptConnection* connection,
                  const std::string& proxy = "", FetchDetails details = {},
                  FetchLimits limits = {}) {
        details.connection = connection;
        std::string error;
        const int result =
            DownloadFile("127.0.0.1", m_server.Port(), "/" + name, m_local / name, FileMode::Binary,
                         error, proxy, nullptr, 1024, nullptr, limits, &details);
        return {result, error, ReadFile(m_local / name), details.complete};
    }

    std::vector<TestHttpServer::Request> RequestsFor(const std::string& name) const {
        std::vector<TestHttpServer::Request> found;
        for (const auto& request : m_server.Requests()) {
            if (request.path == "/" + name) {
                found.push_back(request);
            }
        }
        return found;
    }

    TempDir m_root;
    TempDir m_local;
    TestHttpServer m_server;
};

TEST_F(KeptConnectionTest, OneConnectionWhereTheServerKeepsItAndNoneThroughAProxy) {
    KeptConnection connection;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Fetch("f" + std::to_string(i), &connection).result, 1);
    }
    auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.version, "HTTP/1.0");
        EXPECT_TRUE(request.keepAlive);
        EXPECT_EQ(request.connection, requests[0].connection) << request.path;
    }

    // A server that closes every connection: a new one each time.
    m_server.SetKeepAlive(false);
    m_server.ClearRequests();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Fetch("f" + std::to_string(i), &connection).result, 1);
    }
    requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[0].connection, requests[1].connection);
    EXPECT_NE(requests[1].connection, requests[2].connection);

    // Through a proxy the header is never sent, so no connection is kept.
    m_server.SetKeepAlive(true);
    m_server.ClearRequests();
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Fetch("f" + std::to_string(i), &connection, m_server.Address()).result, 1);
    }
    requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].keepAlive);
    EXPECT_FALSE(requests[1].keepAlive);
    EXPECT_NE(requests[0].connection, requests[1].connection);
}

// Each fault once on a connection of its own and once on a kept one: the
// same result, the same text, the same file; and the fetch after it works.
TEST_F(KeptConnectionTest, EveryFaultEndsAsOnAConnectionOfItsOwn) {
    const std::string body = ReadFile(m_root / "f1");
    const struct {
        const char* what;
        Fault fault;
        long long resumeFrom;  // bytes of the file already on this side
    } cases[] = {
        {"a drop in the body", Fault{.closeAfterBytes = 20000}, 0},
        {"a stall in the body", Fault{.stallAfterBytes = 20000}, 0},
        {"a length that lies", Fault{.announceExtra = 100}, 0},
        {"an error status", Fault{.status = 503, .body = "busy"}, 0},
        {"the rest of a part", Fault{}, 30000},
        {"a part that was whole already", Fault{}, 50000},
        {"a range not given", Fault{.ignoreRange = true}, 30000},
    };
    FetchLimits limits;
    limits.stallMs = 1500;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Outcome> outcomes;
        for (const bool kept : {false, true}) {
            KeptConnection connection;
            if (kept) {
                ASSERT_EQ(Fetch("f0", &connection).result, 1);
            }
            RemoveFile(m_local / "f1");
            if (c.resumeFrom > 0) {
                WriteFile(m_local / "f1", body.substr(0, c.resumeFrom));
            }
            m_server.SetFault("/f1", c.fault);
            FetchDetails details;
            details.resumeFrom = c.resumeFrom;
            details.expectedSize = static_cast<long long>(body.size());
            const std::uint64_t warm = kept ? m_server.Requests().back().connection : 0;
            m_server.ClearRequests();
            outcomes.push_back(Fetch("f1", kept ? &connection : nullptr, "", details, limits));
            const auto requests = m_server.Requests();
            ASSERT_EQ(requests.size(), 1u) << "the fetch itself asks once";
            if (kept) {
                EXPECT_EQ(requests[0].connection, warm) << "asked on the kept connection";
            }
            m_server.ClearFaults();
            if (kept) {
                ASSERT_EQ(Fetch("f2", &connection).result, 1) << "the fetch after it";
            }
        }
        EXPECT_EQ(outcomes[0].result, outcomes[1].result);
        EXPECT_EQ(outcomes[0].error, outcomes[1].error);
        EXPECT_EQ(outcomes[0].file, outcomes[1].file);
        EXPECT_EQ(outcomes[0].complete, outcomes[1].complete);
    }
}

// A server that lost the kept connection without closing it: the request
// goes again at once on a new connection, within the one fetch.
TEST_F(KeptConnectionTest, AKeptConnectionThatNeverAnswersIsReplacedWithinTheFetch) {
    KeptConnection connection;
    ASSERT_EQ(Fetch("f0", &connection).result, 1);
    m_server.SetFault("/f1", Fault{.stallBeforeHeaders = true, .times = 1});
    FetchLimits limits;
    limits.stallMs = 600000;  // not the stall limit: the kept connection's own
    const Outcome outcome = Fetch("f1", &connection, "", {}, limits);
    EXPECT_EQ(outcome.result, 1) << outcome.error;
    EXPECT_EQ(outcome.file, ReadFile(m_root / "f1"));
    const auto tries = RequestsFor("f1");
    ASSERT_EQ(tries.size(), 2u);
    EXPECT_EQ(tries[0].connection, RequestsFor("f0")[0].connection);
    EXPECT_NE(tries[1].connection, tries[0].connection);
}

}  // namespace
