#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

// A real HTTP/1.0 server on 127.0.0.1 at an ephemeral port, serving a folder.
// It takes both origin-form ("GET /a HTTP/1.0") and absolute-form
// ("GET http://host/a HTTP/1.0") targets, so it also plays an HTTP proxy for
// any host. Every request is recorded; faults are injected per path.
class TestHttpServer {
  public:
    struct Fault {
        int status = 0;             // answer with this status and `body` instead of the file
        std::string body;           // body of a status answer; else replaces the file's bytes
        bool replaceBody = false;   // serve `body` (with status 200) instead of the file
        std::string location;       // Location header, for redirects
        long closeAfterBytes = -1;  // drop the connection after this many body bytes
        long announceExtra = 0;     // announce a Content-Length larger by this
        bool omitContentLength = false;
        std::string contentLength;        // announce this literal Content-Length value
        long stallAfterBytes = -1;        // after this many body bytes send nothing more
        bool stallBeforeHeaders = false;  // accept the request, then send nothing at all
        int dripIntervalMs = 0;           // send the body `dripBytes` at a time, this far apart
        std::size_t dripBytes = 1;
        std::size_t headerPadding = 0;  // add a header of this many bytes
        std::string extraHeaders;       // header lines to add, each ending in CR LF
        bool endlessBody = false;       // after the file's bytes, send more until the client goes
        bool ignoreRange = false;       // answer a Range request with the whole file
        std::string rawResponse;        // send exactly this, then close
        int times = -1;                 // the fault applies to this many requests; -1 always
    };

    struct Request {
        std::string method;
        std::string target;   // as sent
        std::string path;     // decoded path, without scheme and host
        std::string host;     // host of an absolute-form target, else the Host header
        std::string version;  // "HTTP/1.0"
        std::string userAgent;
        std::string range;   // the Range header, if any
        long bodyBytes = 0;  // body bytes sent in answer
        std::uint64_t id = 0;
        std::uint64_t connection = 0;  // the same for requests on one connection
        bool keepAlive = false;        // it asked for "Connection: keep-alive"
    };

    explicit TestHttpServer(std::string root);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int Port() const { return m_port; }
    // "127.0.0.1:port", for the proxy setting.
    std::string Address() const;
    const std::string& Root() const { return m_root; }

    // Replaces the faults of the path with this one.
    void SetFault(const std::string& path, const Fault& fault);
    // Queues a fault after those already set for the path; each applies for
    // its `times` requests, then the next one does.
    void AddFault(const std::string& path, const Fault& fault);
    void ClearFaults();
    // Every body is sent at about this many bytes per second (0: no limit).
    void SetRateLimit(std::size_t bytesPerSecond);
    // Keeps the connection for the next request when the client asks, as
    // HTTP/1.0 servers that know "Connection: keep-alive" do (off: every
    // answer closes it).
    void SetKeepAlive(bool keep) { m_keepAlive = keep; }

    std::vector<Request> Requests() const;
    int CountRequests(const std::string& path) const;
    void ClearRequests();

    void Stop();

  private:
    void AcceptLoop();
    void Serve(LoopbackSocket connection);
    // One request and its answer; true when the connection stays for another.
    bool ServeOne(LoopbackSocket connection, std::uint64_t connectionId, std::string& pending);
    bool TakeFault(const std::string& path, Fault& fault);
    bool SendAll(LoopbackSocket connection, const char* data, std::size_t length);
    bool SendBody(LoopbackSocket connection, const std::string& data, const Fault& fault,
                  long limit, long& sent);
    void WaitForHangUp(LoopbackSocket connection);
    bool Sleep(int ms);

    std::string m_root;
    LoopbackSocket m_listener = kNoSocket;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_rateLimit{0};
    std::atomic<bool> m_keepAlive{false};
    std::atomic<std::uint64_t> m_lastConnectionId{0};
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopCv;
    std::map<std::string, std::deque<Fault>> m_faults;
    std::vector<Request> m_requests;
    std::uint64_t m_lastRequestId = 0;
    std::set<LoopbackSocket> m_openConnections;
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Connection> m_connections;
};
