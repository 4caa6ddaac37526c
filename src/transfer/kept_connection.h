#pragma once

#include <chrono>
#include <memory>
#include <string>

// The connection to the download server, kept between fetches as HTTP/1.0
// allows ("Connection: keep-alive"): on a link with a long round trip each
// new connection costs a handshake and a fresh slow start. Never through a
// proxy: an HTTP/1.0 proxy that does not know the header passes it on, and
// the next request would wait on a connection nobody answers. A request on
// a kept connection that gets no status line within a few seconds is sent
// again at once on a new one; a new one is also opened whenever the server
// did not keep the last one, a request failed, or the connection idled.
// Used by one thread at a time.
class KeptConnection {
  public:
    KeptConnection();
    ~KeptConnection();
    KeptConnection(const KeptConnection&) = delete;
    KeptConnection& operator=(const KeptConnection&) = delete;

    // Tests and benchmarks: the server's name and port lead to `address`
    // ("127.0.0.1:8080") without a proxy, the requests unchanged.
    void ConnectTo(const std::string& address);
    const std::string& ConnectedTo() const { return m_connectTo; }

    // For the fetch: libcurl's shared connection cache; whether a kept
    // connection is expected to stand; what came of a request.
    void* Share() const;
    bool ExpectKept() const;
    void Used(bool kept);

  private:
    struct Cache;
    std::unique_ptr<Cache> m_cache;
    std::string m_connectTo;
    bool m_kept = false;
    std::chrono::steady_clock::time_point m_lastUse{};
};

// How long a connection may idle and still be used again, in seconds: well
// below what servers keep an idle connection open for.
inline constexpr long kKeptConnectionIdleSeconds = 5;
// How long a request on a kept connection waits for its status line before
// it goes again on a new connection, without counting as an attempt.
inline constexpr long kKeptConnectionAnswerMs = 3000;
