#include "test_http_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace {

constexpr std::size_t kMaxRequestHeader = 64 * 1024;
constexpr std::size_t kChunk = 64 * 1024;
// How long a wait on a socket lasts before the stop flag is looked at again;
// with it, nothing has to wake a wait when the server stops.
constexpr int kStopCheckMs = 50;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string StatusLine(int status) {
    const char* reason = "Status";
    switch (status) {
        case 200:
            reason = "OK";
            break;
        case 301:
            reason = "Moved Permanently";
            break;
        case 302:
            reason = "Found";
            break;
        case 206:
            reason = "Partial Content";
            break;
        case 404:
            reason = "Not Found";
            break;
        case 416:
            reason = "Range Not Satisfiable";
            break;
        case 407:
            reason = "Proxy Authentication Required";
            break;
        case 500:
            reason = "Internal Server Error";
            break;
        case 502:
            reason = "Bad Gateway";
            break;
        case 503:
            reason = "Service Unavailable";
            break;
        default:
            break;
    }
    return "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
}

// The whole of a regular file; false for anything else (a folder, a FIFO
// that would block the reading) and for what cannot be opened. The name is
// UTF-8, also on Windows.
bool ReadRegularFile(const std::string& name, std::string& content) {
    const std::filesystem::path file(std::u8string(name.begin(), name.end()));
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

TestHttpServer::TestHttpServer(std::string root) : m_root(std::move(root)) {
    m_listener = ListenOnLoopback(m_port);
    if (m_listener == kNoSocket) {
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    Stop();
}

std::string TestHttpServer::Address() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

void TestHttpServer::Stop() {
    if (m_stopping.exchange(true)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        for (LoopbackSocket connection : m_openConnections) {
            ShutdownBoth(connection);
        }
    }
    m_stopCv.notify_all();
    m_acceptThread.join();
    std::vector<Connection> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& c : connections) {
        c.thread.join();
    }
    CloseSocket(m_listener);
}

void TestHttpServer::SetFault(const std::string& path, const Fault& fault) {
    std::lock_guard lock(m_mutex);
    m_faults[path] = {fault};
}

void TestHttpServer::AddFault(const std::string& path, const Fault& fault) {
    std::lock_guard lock(m_mutex);
    m_faults[path].push_back(fault);
}

void TestHttpServer::ClearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

void TestHttpServer::SetRateLimit(std::size_t bytesPerSecond) {
    m_rateLimit = bytesPerSecond;
}

std::vector<TestHttpServer::Request> TestHttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int TestHttpServer::CountRequests(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_requests.begin(), m_requests.end(),
                                          [&](const Request& r) { return r.path == path; }));
}

void TestHttpServer::ClearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void TestHttpServer::AcceptLoop() {
    while (!m_stopping) {
        if (!WaitReadable(m_listener, kStopCheckMs) || m_stopping) {
            continue;
        }
        const LoopbackSocket connection = AcceptConnection(m_listener);
        if (connection == kNoSocket) {
            continue;
        }
        std::lock_guard lock(m_mutex);
        // Reap the connections that have ended, so a long run keeps few threads.
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
        m_openConnections.insert(connection);
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_connections.push_back({std::thread([this, connection, done] {
                                     Serve(connection);
                                     done->store(true);
                                 }),
                                 done});
    }
}

bool TestHttpServer::TakeFault(const std::string& path, Fault& fault) {
    std::lock_guard lock(m_mutex);
    auto it = m_faults.find(path);
    if (it == m_faults.end()) {
        return false;
    }
    std::deque<Fault>& queue = it->second;
    while (!queue.empty() && queue.front().times == 0) {
        queue.pop_front();
    }
    if (queue.empty()) {
        return false;
    }
    fault = queue.front();
    if (queue.front().times > 0) {
        --queue.front().times;
    }
    return true;
}

bool TestHttpServer::Sleep(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_stopCv.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return m_stopping.load(); });
}

bool TestHttpServer::SendAll(LoopbackSocket connection, const char* data, std::size_t length) {
    while (length > 0) {
        const long n = SendSome(connection, data, length);
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

void TestHttpServer::WaitForHangUp(LoopbackSocket connection) {
    char buffer[256];
    while (!m_stopping) {
        if (WaitReadable(connection, kStopCheckMs)) {
            const long n = ReceiveSome(connection, buffer, sizeof buffer);
            if (n <= 0) {
                return;
            }
        }
    }
}

// Sends `data` honouring the fault's drip, stall and close-after settings.
// Returns false once the connection is to be dropped without more bytes.
bool TestHttpServer::SendBody(LoopbackSocket connection, const std::string& data,
                              const Fault& fault, long limit, long& bodySent) {
    const std::size_t end =
        limit >= 0 ? std::min<std::size_t>(static_cast<std::size_t>(limit), data.size())
                   : data.size();
    const std::size_t rate = m_rateLimit;
    std::size_t sent = 0;
    while (sent < end) {
        std::size_t chunk = std::min(kChunk, end - sent);
        int pauseMs = 0;
        if (fault.dripIntervalMs > 0) {
            chunk = std::min(chunk, std::max<std::size_t>(fault.dripBytes, 1));
            pauseMs = fault.dripIntervalMs;
        } else if (rate > 0) {
            chunk = std::min(chunk, std::max<std::size_t>(rate / 20, 1));
            pauseMs = 50;
        }
        if (!SendAll(connection, data.data() + sent, chunk)) {
            return false;
        }
        sent += chunk;
        bodySent = static_cast<long>(sent);
        if (pauseMs > 0 && sent < end && !Sleep(pauseMs)) {
            return false;
        }
    }
    return true;
}

void TestHttpServer::Serve(LoopbackSocket connection) {
    const std::uint64_t connectionId = ++m_lastConnectionId;
    std::string pending;
    while (ServeOne(connection, connectionId, pending)) {
    }
    {
        std::lock_guard lock(m_mutex);
        m_openConnections.erase(connection);
    }
    ShutdownSending(connection);
    CloseSocket(connection);
}

bool TestHttpServer::ServeOne(LoopbackSocket connection, std::uint64_t connectionId,
                              std::string& pending) {
    std::string header = std::move(pending);
    pending.clear();
    char buffer[4096];
    while (header.find("\r\n\r\n") == std::string::npos && header.size() < kMaxRequestHeader &&
           !m_stopping) {
        if (!WaitReadable(connection, kStopCheckMs)) {
            continue;
        }
        const long n = ReceiveSome(connection, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        header.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t headerEnd = header.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        return false;  // the client went, or sent no request
    }
    pending = header.substr(headerEnd + 4);
    header.resize(headerEnd + 4);

    Request request;
    request.connection = connectionId;
    {
        const std::size_t lineEnd = header.find("\r\n");
        const std::string line = header.substr(0, lineEnd);
        const std::size_t s1 = line.find(' ');
        const std::size_t s2 = line.rfind(' ');
        if (s1 != std::string::npos && s2 != s1) {
            request.method = line.substr(0, s1);
            request.target = line.substr(s1 + 1, s2 - s1 - 1);
            request.version = line.substr(s2 + 1);
        }
        std::string target = request.target;
        if (Lower(target.substr(0, 7)) == "http://") {
            const std::size_t slash = target.find('/', 7);
            request.host =
                target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
            target = slash == std::string::npos ? "/" : target.substr(slash);
        }
        request.path = PercentDecode(target.substr(0, target.find('?')));
        std::size_t pos = lineEnd;
        while (pos != std::string::npos && pos + 2 < header.size()) {
            const std::size_t next = header.find("\r\n", pos + 2);
            const std::string field = header.substr(
                pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
            const std::size_t colon = field.find(':');
            if (colon != std::string::npos) {
                const std::string name = Lower(field.substr(0, colon));
                std::string value = field.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                if (name == "host" && request.host.empty()) {
                    request.host = value;
                }
                if (name == "user-agent") {
                    request.userAgent = value;
                }
                if (name == "range") {
                    request.range = value;
                }
                if (name == "connection") {
                    request.keepAlive = Lower(value).find("keep-alive") != std::string::npos;
                }
            }
            pos = next;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        request.id = ++m_lastRequestId;
        m_requests.push_back(request);
    }

    Fault fault;
    const bool faulty = TakeFault(request.path, fault);
    // Kept only for a client that asks, and for an answer whose end the
    // client can tell without the connection closing.
    bool keep = m_keepAlive && request.keepAlive;
    if (faulty) {
        keep = keep && fault.rawResponse.empty() && !fault.stallBeforeHeaders &&
               fault.closeAfterBytes < 0 && fault.stallAfterBytes < 0 && !fault.endlessBody &&
               !fault.omitContentLength && fault.contentLength.empty() &&
               fault.announceExtra == 0 && fault.dripIntervalMs == 0;
    }
    if (faulty && !fault.rawResponse.empty()) {
        SendAll(connection, fault.rawResponse.data(), fault.rawResponse.size());
    } else if (faulty && fault.stallBeforeHeaders) {
        WaitForHangUp(connection);
    } else {
        int status = 200;
        std::string body;
        if (faulty && fault.status != 0) {
            status = fault.status;
            body = fault.body;
        } else if (faulty && fault.replaceBody) {
            body = fault.body;
        } else {
            const bool unsafe = request.path.find("/..") != std::string::npos ||
                                request.path.empty() || request.path[0] != '/';
            const bool found = !unsafe && ReadRegularFile(m_root + request.path, body);
            if (!found) {
                status = 404;
                body = "<html><body><h1>404 Not Found</h1></body></html>";
            }
        }
        // "Range: bytes=N-", as the program asks to continue a file.
        long long from = -1;
        if (status == 200 && !fault.ignoreRange &&
            std::sscanf(request.range.c_str(), "bytes=%lld-", &from) == 1 && from >= 0) {
            if (static_cast<std::size_t>(from) < body.size()) {
                fault.extraHeaders += "Content-Range: bytes " + std::to_string(from) + "-" +
                                      std::to_string(body.size() - 1) + "/" +
                                      std::to_string(body.size()) + "\r\n";
                body = body.substr(static_cast<std::size_t>(from));
                status = 206;
            } else {
                // As a server says that the file ends before the range.
                fault.extraHeaders +=
                    "Content-Range: bytes */" + std::to_string(body.size()) + "\r\n";
                status = 416;
                body.clear();
            }
        }

        std::string head = StatusLine(status);
        if (!fault.location.empty()) {
            head += "Location: " + fault.location + "\r\n";
        }
        if (!fault.contentLength.empty()) {
            head += "Content-Length: " + fault.contentLength + "\r\n";
        } else if (!fault.omitContentLength) {
            head += "Content-Length: " +
                    std::to_string(body.size() + static_cast<std::size_t>(fault.announceExtra)) +
                    "\r\n";
        }
        if (fault.headerPadding > 0) {
            head += "X-Padding: " + std::string(fault.headerPadding, 'p') + "\r\n";
        }
        head += fault.extraHeaders;
        head += "Content-Type: " +
                std::string(status == 200 ? "application/octet-stream" : "text/html") +
                (keep ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
        if (SendAll(connection, head.data(), head.size())) {
            long limit = -1;
            if (fault.closeAfterBytes >= 0) {
                limit = fault.closeAfterBytes;
            }
            if (fault.stallAfterBytes >= 0) {
                limit = fault.stallAfterBytes;
            }
            long sent = 0;
            const bool complete = SendBody(connection, body, fault, limit, sent);
            {
                // The log may have been cleared meanwhile.
                std::lock_guard lock(m_mutex);
                for (Request& logged : m_requests) {
                    if (logged.id == request.id) {
                        logged.bodyBytes = sent;
                    }
                }
            }
            if (complete && fault.stallAfterBytes >= 0) {
                WaitForHangUp(connection);
            }
            const std::string more(kChunk, 'x');
            while (fault.endlessBody && !m_stopping &&
                   SendAll(connection, more.data(), more.size())) {
            }
            return keep && complete && !m_stopping;
        }
    }
    return false;
}
