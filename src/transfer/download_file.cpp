#include "transfer/download_file.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "framework/failure_text.h"
#include "framework/file_system.h"
#include "framework/hash_pipeline.h"
#include "framework/progress_ctrl.h"
#include "framework/sha256.h"
#include "framework/text_mode.h"
#include "framework/texts.h"
#include "transfer/desktop_proxy.h"
#include "transfer/kept_connection.h"
#include "transfer/rate_pacer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr long kStatusOk = 200;
constexpr long kStatusPartial = 206;
constexpr long kStatusProxyLogin = 407;
constexpr long kStatusRangeNotSatisfiable = 416;
constexpr long kFirstErrorStatus = 300;
// Bigger than libcurl's default so that a fast link costs fewer callbacks and
// write calls; the progress accounting does not depend on it.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr std::size_t kWriteBufferSize = 1 << 20;
// An error page is a few hundred bytes; more is a server that will not stop.
constexpr std::uint64_t kMaxDiscardedBytes = 64 * 1024;

// Bytes that may stand in a URL path as they are (RFC 3986: unreserved,
// sub-delims, ":", "@", "/"). Everything else is percent-encoded, so "?",
// "#" or a space in a name reach the server as part of the name.
bool IsPathByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) !=
               std::string_view::npos;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A "%" that already starts an escape ("%41") is sent as it stands; any
// other "%" is encoded itself.
std::string EncodePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    if (path.empty() || path[0] != '/') {
        encoded += '/';
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        const bool escape =
            c == '%' && i + 2 < path.size() && IsHexDigit(path[i + 1]) && IsHexDigit(path[i + 2]);
        if (IsPathByte(c) || escape) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    const std::size_t last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

// Why a fetch failed. The first failure a fetch meets is the one it reports.
enum class FetchFailure {
    None,
    Stopped,           // the stop flag was set: no error text
    BadStatus,         // an error status: the Part's "Failed to connect"
    ProxyLogin,        // the proxy wants a login
    UnexpectedStatus,  // a status below 300 that is not the file
    TransferCoding,    // a transfer coding other than chunked
    TooLong,           // more body than the file may hold
    CannotCreate,      // the local file cannot be created
    WriteFailed,       // a write, the sync or the close of the local file failed
    Stalled,           // nothing moved for the stall limit
    TooSlow,           // the body came slower than the floor for a whole window
    RangeRefused,      // a continuation asked for was not given as asked
    KeptSilent,        // a kept connection gave no status line in time
};

class Fetch {
  public:
    Fetch(CURL* curl, const LocalFile& local, FileMode mode, ProgressCtrl* progress,
          int stepPerBlock, const std::atomic<int>* stop, const FetchLimits& limits,
          FetchDetails& details)
        : m_curl(curl),
          m_local(local),
          m_durable(mode == FileMode::Binary),
          m_textMode(mode == FileMode::Text),
          m_progress(progress),
          m_stepPerBlock(stepPerBlock),
          m_stop(stop),
          m_limits(limits),
          m_details(details) {
        m_details.fileLength = m_details.resumeFrom;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Fetch*>(self)->Body(data, size * count);
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Fetch*>(self)->Header(data, size * count);
    }

    static int OnConnected(void* self, char*, char*, int, int) {
        auto* fetch = static_cast<Fetch*>(self);
        fetch->m_connected = true;
        fetch->Touch();
        fetch->m_windowStart = fetch->m_requestSent = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    // A kept connection must answer within kKeptConnectionAnswerMs.
    void ExpectKeptConnection() { m_expectKept = true; }
    // The answer lets the connection stand for the next request.
    bool KeepsConnection() const { return m_keepAlive; }

    static int OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                          curl_off_t sent) {
        return static_cast<Fetch*>(self)->Progress(received, sent);
    }

    // Creates the local file once the status is known to be good, or opens
    // it to continue it. Also called after the transfer, for a good answer
    // with an empty body.
    bool OpenLocalFile() {
        long status = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        m_details.status = status;
        if (m_details.resumeFrom > 0 && status == kStatusPartial) {
            return ContinueLocalFile();
        }
        if (m_details.resumeFrom > 0 && status == kStatusRangeNotSatisfiable) {
            return TakeCompleteLocalFile();
        }
        if (status != kStatusOk) {
            m_status = status;
            // 0 means no status line could be read.
            Fail(status == kStatusProxyLogin                ? FetchFailure::ProxyLogin
                 : status > 0 && status < kFirstErrorStatus ? FetchFailure::UnexpectedStatus
                                                            : FetchFailure::BadStatus);
            return false;
        }
        m_file = CreateOwnFile(m_local.folder, m_local.name);
        if (!m_file.IsOpen()) {
            Fail(FetchFailure::CannotCreate);
            return false;
        }
        // The whole file after all: what was there goes, and so does its hash.
        m_created = true;
        m_details.fileLength = 0;
        Count(0);
        if (m_details.hash != nullptr) {
            m_details.hash->Reset();
        }
        PrepareBuffers();
        return true;
    }

    // Closes the local file, first putting its data on disk when asked to.
    bool Finish(bool sync) {
        if (!m_file.IsOpen()) {
            return true;
        }
        bool ok = Flush();
        if (m_hashing != nullptr) {
            m_hashing->Wait();
        }
        ok = ok && (!sync || SyncData(m_file));
        ok = m_file.Close() && ok;
        m_details.fileLength = m_written;
        return ok;
    }

    // What arrived of a body that may not be kept goes.
    void Discard() {
        if (m_created || m_details.continued) {
            RemoveOwnFile(m_local.folder, m_local.name);
            m_details.fileLength = 0;
            Count(0);
        }
    }

    bool HasFile() const { return m_file.IsOpen(); }
    bool Connected() const { return m_connected; }
    long Status() const { return m_status; }
    const std::string& TransferCoding() const { return m_transferCoding; }
    FetchFailure Failure() const { return m_failure; }
    void Fail(FetchFailure failure) {
        if (m_failure == FetchFailure::None) {
            m_failure = failure;
        }
    }

  private:
    // Appends to the file an earlier attempt left, when the server sent
    // exactly its rest: from the byte asked for to the file's last one.
    bool ContinueLocalFile() {
        const long long from = m_details.resumeFrom;
        const bool total = m_details.expectedSize >= 0
                               ? m_rangeTotal == m_details.expectedSize
                               : m_rangeTotal > from &&
                                     (m_limits.maxBytes < 0 || m_rangeTotal <= m_limits.maxBytes);
        if (m_rangeStart != from || m_rangeEnd != m_rangeTotal - 1 || !total) {
            Fail(FetchFailure::RangeRefused);
            return false;
        }
        m_file = OpenOwnFileForAppending(m_local.folder, m_local.name, from);
        if (!m_file.IsOpen()) {
            Fail(FetchFailure::RangeRefused);
            return false;
        }
        m_details.continued = true;
        m_received = static_cast<std::uint64_t>(from);
        m_blocksShown = (m_received + kFetchBlockSize - 1) / kFetchBlockSize;
        m_written = from;
        Count(from);
        PrepareBuffers();
        return true;
    }

    // "416, bytes */N" for a continuation from N: the file an earlier
    // attempt left is the whole file already (a stop between its last byte
    // and its record, or a proxy that announced a byte too many). Any other
    // size is an answer for some other file.
    bool TakeCompleteLocalFile() {
        const long long size = m_details.resumeFrom;
        if (m_unsatisfiedTotal != size ||
            (m_details.expectedSize >= 0 && m_details.expectedSize != size) ||
            (m_limits.maxBytes >= 0 && size > m_limits.maxBytes)) {
            Fail(FetchFailure::RangeRefused);
            return false;
        }
        m_file = OpenOwnFileForAppending(m_local.folder, m_local.name, size);
        if (!m_file.IsOpen()) {
            Fail(FetchFailure::RangeRefused);
            return false;
        }
        m_details.continued = true;
        m_details.complete = true;
        m_written = size;
        Count(size);
        return true;
    }

    void PrepareBuffers() {
        for (std::vector<char>& buffer : m_buffers) {
            buffer.reserve(kWriteBufferSize);
        }
        // The hash of a part runs beside the transfer, a buffer behind it.
        if (m_details.hash != nullptr) {
            m_hashing = std::make_unique<HashPipeline>(*m_details.hash);
        }
    }

    // "bytes 100-199/200", or "bytes */200" with a 416; anything else
    // leaves the range unknown.
    void ParseContentRange(const std::string& value) {
        long long start = -1;
        long long end = -1;
        long long total = -1;
        char tail = 0;
        if (std::sscanf(value.c_str(), "bytes */%lld%c", &total, &tail) == 1 && total >= 0) {
            m_unsatisfiedTotal = total;
            return;
        }
        if (std::sscanf(value.c_str(), "bytes %lld-%lld/%lld%c", &start, &end, &total, &tail) ==
                3 &&
            start >= 0 && end >= start && total > end) {
            m_rangeStart = start;
            m_rangeEnd = end;
            m_rangeTotal = total;
        }
    }

    std::size_t Header(const char* data, std::size_t length) {
        Touch();
        const std::string line(data, length);
        // Each answer (a redirect's too) starts with its status line.
        if (line.rfind("HTTP/", 0) == 0) {
            m_rangeStart = m_rangeEnd = m_rangeTotal = m_unsatisfiedTotal = -1;
            m_statusSeen = true;
            m_keepAlive = false;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            return length;
        }
        const std::string name = Lower(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-range") {
            ParseContentRange(value);
        }
        if (name == "connection") {
            m_keepAlive = Lower(value).find("keep-alive") != std::string::npos;
        }
        // Only chunked may stand between the body and the file: a server's
        // "gzip" would let a few bytes unpack into gigabytes.
        if (name == "transfer-encoding") {
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::string coding = Lower(Trim(value.substr(start, comma - start)));
                if (coding != "chunked" && !coding.empty()) {
                    m_transferCoding = value;
                    Fail(FetchFailure::TransferCoding);
                    return 0;
                }
                start = comma + 1;
            }
        }
        return length;
    }

    std::size_t Body(const char* data, std::size_t length) {
        if (!m_file.IsOpen() && !OpenLocalFile()) {
            return CURL_WRITEFUNC_ERROR;
        }
        if (m_details.complete) {
            // The 416's own page is not the file's.
            m_discarded += length;
            Touch();
            if (m_discarded > kMaxDiscardedBytes) {
                m_details.complete = false;
                Fail(FetchFailure::RangeRefused);
                return CURL_WRITEFUNC_ERROR;
            }
            return StopRequested() ? CURL_WRITEFUNC_ERROR : length;
        }
        if (m_limits.maxBytes >= 0 &&
            m_received + length > static_cast<std::uint64_t>(m_limits.maxBytes)) {
            Fail(FetchFailure::TooLong);
            return CURL_WRITEFUNC_ERROR;
        }
        // Limits and counts are of the server's bytes, whatever text mode
        // makes of them on disk.
        const std::size_t sent = length;
        std::string lines;
        if (m_textMode) {
            lines = InTextMode(std::string_view(data, length));
            data = lines.data();
            length = lines.size();
        }
        // libcurl hands the body over in pieces of at most 16 KiB; they are
        // gathered so that the file sees few, large writes.
        std::vector<char>& buffer = m_buffers[m_current];
        if (buffer.size() + length > kWriteBufferSize && !Flush()) {
            return CURL_WRITEFUNC_ERROR;
        }
        if (length >= kWriteBufferSize) {
            // libcurl's own buffer: hashed before it is handed back.
            if (m_hashing != nullptr) {
                m_hashing->Feed(data, length);
                m_hashing->Wait();
            }
            if (!WriteAll(data, length)) {
                return CURL_WRITEFUNC_ERROR;
            }
        } else {
            m_buffers[m_current].insert(m_buffers[m_current].end(), data, data + length);
        }
        m_received += sent;
        Count(static_cast<std::int64_t>(m_received));
        if (m_progress != nullptr) {
            const std::uint64_t blocks = (m_received + kFetchBlockSize - 1) / kFetchBlockSize;
            m_progress->DeltaPos(static_cast<int>(blocks - m_blocksShown) * m_stepPerBlock);
            m_blocksShown = blocks;
        }
        Touch();
        if (m_details.pacer != nullptr) {
            const auto paused = m_details.pacer->Take(sent, [this] { return Stopping(); });
            // The pause is ours, not the server's: it moves the window of
            // the slowness check on and counts as activity.
            m_windowStart += paused;
            Touch();
        }
        if (StopRequested()) {
            return CURL_WRITEFUNC_ERROR;
        }
        return sent;
    }

    // Writes the gathered buffer, hands it to the hash and goes on with the
    // other one, which the hash has finished with by then.
    bool Flush() {
        std::vector<char>& buffer = m_buffers[m_current];
        if (buffer.empty()) {
            return true;
        }
        const bool ok = WriteAll(buffer.data(), buffer.size());
        if (m_hashing != nullptr) {
            m_hashing->Feed(buffer.data(), buffer.size());
        }
        m_current = 1 - m_current;
        m_buffers[m_current].clear();
        return ok;
    }

    bool WriteAll(const char* data, std::size_t length) {
        if (!::WriteAll(m_file, data, length)) {
            Fail(FetchFailure::WriteFailed);
            return false;
        }
        m_written += static_cast<std::int64_t>(length);
        m_details.lastWrite = Clock::now();
        if (m_durable) {
            m_writeback.Wrote(m_written);
        }
        return true;
    }

    int Progress(curl_off_t received, curl_off_t sent) {
        if (StopRequested()) {
            return 1;
        }
        if (received != m_lastReceived || sent != m_lastSent) {
            m_lastReceived = received;
            m_lastSent = sent;
            Touch();
        }
        if (!m_connected) {
            return 0;
        }
        const Clock::time_point now = Clock::now();
        if (m_expectKept && !m_statusSeen &&
            now - m_requestSent > std::chrono::milliseconds(kKeptConnectionAnswerMs)) {
            Fail(FetchFailure::KeptSilent);
            return 1;
        }
        if (now - m_lastActivity > std::chrono::milliseconds(m_limits.stallMs)) {
            Fail(FetchFailure::Stalled);
            return 1;
        }
        // The average over each whole window must reach the floor: a server
        // that sends a byte now and then never stalls, but it cannot hold
        // the program either.
        const std::chrono::milliseconds window(m_limits.slowWindowMs);
        if (m_limits.slowWindowMs > 0 && now - m_windowStart >= window) {
            const long long floor = static_cast<long long>(m_limits.slowFloorBytesPerSecond) *
                                    m_limits.slowWindowMs / 1000;
            if (received - m_windowReceived < floor) {
                Fail(FetchFailure::TooSlow);
                return 1;
            }
            m_windowStart = now;
            m_windowReceived = received;
        }
        return 0;
    }

    bool Stopping() const {
        return m_stop != nullptr && m_stop->load(std::memory_order_relaxed) != 0;
    }

    bool StopRequested() {
        if (Stopping()) {
            Fail(FetchFailure::Stopped);
            return true;
        }
        return false;
    }

    void Touch() { m_lastActivity = Clock::now(); }

    void Count(std::int64_t length) {
        if (m_details.counter != nullptr) {
            m_details.counter->store(m_details.countFrom + length, std::memory_order_relaxed);
        }
    }

    CURL* m_curl;
    const LocalFile& m_local;
    // Binary files (the parts) must be on disk before success is reported.
    bool m_durable;
    bool m_textMode;
    FileHandle m_file;
    EarlyWriteback m_writeback{&m_file};
    std::vector<char> m_buffers[2];
    int m_current = 0;
    std::unique_ptr<HashPipeline> m_hashing;
    std::int64_t m_written = 0;
    ProgressCtrl* m_progress;
    int m_stepPerBlock;
    const std::atomic<int>* m_stop;
    const FetchLimits& m_limits;
    FetchDetails& m_details;
    long long m_rangeStart = -1;
    long long m_rangeEnd = -1;
    long long m_rangeTotal = -1;
    long long m_unsatisfiedTotal = -1;
    Clock::time_point m_lastActivity = Clock::now();
    Clock::time_point m_windowStart = Clock::now();
    curl_off_t m_windowReceived = 0;
    curl_off_t m_lastReceived = 0;
    curl_off_t m_lastSent = 0;
    std::uint64_t m_received = 0;
    std::uint64_t m_discarded = 0;
    std::uint64_t m_blocksShown = 0;
    bool m_created = false;
    bool m_connected = false;
    bool m_expectKept = false;
    bool m_statusSeen = false;
    bool m_keepAlive = false;
    Clock::time_point m_requestSent = Clock::now();
    long m_status = 0;
    std::string m_transferCoding;
    FetchFailure m_failure = FetchFailure::None;
};

// One header line for libcurl, or none.
struct HeaderList {
    explicit HeaderList(const char* line)
        : list(line != nullptr ? curl_slist_append(nullptr, line) : nullptr) {}
    ~HeaderList() { curl_slist_free_all(list); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    curl_slist* list;
};

struct EasyHandle {
    CURL* curl = curl_easy_init();
    CURLU* url = curl_url();
    ~EasyHandle() {
        curl_easy_cleanup(curl);
        curl_url_cleanup(url);
    }
};

// Builds http://host:port/path, refusing a host or port that is not one.
CURLUcode SetUrl(CURLU* url, const std::string& host, int port, const std::string& remotePath) {
    CURLUcode rc = curl_url_set(url, CURLUPART_SCHEME, "http", 0);
    if (rc == CURLUE_OK) {
        rc = curl_url_set(url, CURLUPART_HOST, host.c_str(), 0);
    }
    if (rc == CURLUE_OK) {
        rc = curl_url_set(url, CURLUPART_PORT, std::to_string(port).c_str(), 0);
    }
    if (rc == CURLUE_OK) {
        rc = curl_url_set(url, CURLUPART_PATH, EncodePath(remotePath).c_str(), 0);
    }
    return rc;
}

// libcurl's texts mostly end without a full stop; the callers join more
// sentences on.
// The library's own text, as a sentence.
Failure LibraryFailure(std::string text) {
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    Failure failure(FailureKind::LibraryError);
    failure.text = std::move(text);
    return failure;
}

}  // namespace

LocalFile::LocalFile(const std::string& localPath) : path(localPath) {
    folder = OwnFolder::OpenParentOf(localPath, name);
}

LocalFile::LocalFile(OwnFolder ownFolder, std::string fileName)
    : folder(std::move(ownFolder)), name(std::move(fileName)), path(folder.PathOf(name)) {}

Outcome FetchFile(const std::string& host, int port, const std::string& remotePath,
                  const LocalFile& local, FileMode mode, const std::string& proxy,
                  ProgressCtrl* progress, int progressDivisor, const std::atomic<int>* stop,
                  const FetchLimits& limits, FetchDetails* details) {
    FetchDetails none;
    FetchDetails& detail = details != nullptr ? *details : none;
    detail.status = 0;
    detail.continued = false;
    detail.complete = false;
    // The desktop's proxy lookup counts against the fetch's deadline.
    const Clock::time_point started = Clock::now();
    if (host.empty()) {
        return Failure(FailureKind::HostNameNotSpecified);
    }
    EasyHandle handle;
    if (handle.curl == nullptr || handle.url == nullptr) {
        return LibraryFailure(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    }
    if (const CURLUcode rc = SetUrl(handle.url, host, port, remotePath); rc != CURLUE_OK) {
        return LibraryFailure(curl_url_strerror(rc));
    }

    CURL* curl = handle.curl;
    Fetch fetch(curl, local, mode, progress,
                progressDivisor != 0 ? kFetchBlockSize / progressDivisor : 0, stop, limits, detail);
    char curlError[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_CURLU, handle.url);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, text::kAppTitle);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.deadlineMs);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // The proxy the user set is for every host; so is one the desktop's
    // settings give (they carry their own exceptions): the environment's
    // no_proxy must not send a request around either. Without both, the
    // environment's http_proxy and no_proxy apply.
    KeptConnection* const kept = detail.connection;
    const bool routed = kept != nullptr && !kept->ConnectedTo().empty();
    std::string chosen = routed ? std::string() : proxy;
    if (chosen.empty() && !routed) {
        char* url = nullptr;
        curl_url_get(handle.url, CURLUPART_URL, &url, 0);
        ProxyLookupLimits lookup{.stop = stop};
        if (limits.deadlineMs > 0) {
            lookup.timeoutMs = std::min(lookup.timeoutMs, limits.deadlineMs);
        }
        chosen = DesktopProxyFor(url != nullptr ? url : "", lookup);
        curl_free(url);
    }
    if (limits.deadlineMs > 0) {
        const long spent = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
        // At least a millisecond: 0 would mean no deadline at all.
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, std::max(1L, limits.deadlineMs - spent));
    }
    if (!chosen.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, chosen.c_str());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    }
    const bool keep = kept != nullptr && chosen.empty();
    const HeaderList headers(keep ? "Connection: keep-alive" : nullptr);
    const HeaderList route(routed ? ("::" + kept->ConnectedTo()).c_str() : nullptr);
    if (routed) {
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route.list);
    }
    if (keep) {
        curl_easy_setopt(curl, CURLOPT_SHARE, kept->Share());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
        curl_easy_setopt(curl, CURLOPT_MAXAGE_CONN, kKeptConnectionIdleSeconds);
        if (kept->ExpectKept()) {
            fetch.ExpectKeptConnection();
        } else {
            curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        }
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Fetch::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Fetch::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Fetch::OnConnected);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Fetch::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const std::string range = std::to_string(detail.resumeFrom) + "-";
    if (detail.resumeFrom > 0) {
        curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    }

    const CURLcode result = curl_easy_perform(curl);
    // A good answer with an empty body still leaves an (empty) file.
    const bool transferred = result == CURLE_OK && (fetch.HasFile() || fetch.OpenLocalFile());
    if (!fetch.Finish(transferred && mode == FileMode::Binary)) {
        fetch.Fail(FetchFailure::WriteFailed);
    }
    if (keep) {
        kept->Used(transferred && fetch.Failure() == FetchFailure::None && fetch.KeepsConnection());
    }
    if (fetch.Failure() == FetchFailure::KeptSilent) {
        // The server closed or lost the kept connection without saying so:
        // the same request at once on a new one, in what is left of the
        // deadline. Nothing was written.
        FetchLimits rest = limits;
        if (limits.deadlineMs > 0) {
            rest.deadlineMs = std::max(
                1L, limits.deadlineMs -
                        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              Clock::now() - started)
                                              .count()));
        }
        return FetchFile(host, port, remotePath, local, mode, proxy, progress, progressDivisor,
                         stop, rest, details);
    }

    switch (fetch.Failure()) {
        case FetchFailure::Stopped:
            return Failure(FailureKind::Stopped);
        case FetchFailure::BadStatus:
            return Failure(FailureKind::FailedToConnect);
        case FetchFailure::ProxyLogin:
            return Failure(FailureKind::ProxyNeedsLogin);
        case FetchFailure::UnexpectedStatus: {
            Failure failure(FailureKind::UnexpectedStatus);
            failure.number = fetch.Status();
            return failure;
        }
        case FetchFailure::TransferCoding: {
            Failure failure(FailureKind::TransferCoding);
            failure.text = fetch.TransferCoding();
            return failure;
        }
        case FetchFailure::TooLong: {
            fetch.Discard();
            Failure failure(FailureKind::BodyTooLong);
            failure.number = limits.maxBytes;
            return failure;
        }
        case FetchFailure::CannotCreate:
            return Failure::WithPath(FailureKind::CannotCreateFile, local.Path());
        case FetchFailure::WriteFailed:
            return Failure::WithPath(FailureKind::FailedToWriteFile, local.Path());
        case FetchFailure::Stalled: {
            Failure failure(FailureKind::Stalled);
            failure.milliseconds = limits.stallMs;
            return failure;
        }
        case FetchFailure::TooSlow: {
            Failure failure(FailureKind::TooSlow);
            failure.number = limits.slowFloorBytesPerSecond;
            failure.milliseconds = limits.slowWindowMs;
            return failure;
        }
        case FetchFailure::RangeRefused:
            return Failure(FailureKind::RangeRefused);
        case FetchFailure::KeptSilent:
        case FetchFailure::None:
            break;
    }
    if (result == CURLE_OPERATION_TIMEDOUT && limits.deadlineMs > 0 && fetch.Connected()) {
        Failure failure(FailureKind::DeadlineMissed);
        failure.milliseconds = limits.deadlineMs;
        return failure;
    }
    if (result != CURLE_OK) {
        return LibraryFailure(curlError[0] != '\0' ? curlError : curl_easy_strerror(result));
    }
    return {};
}

int DownloadFile(const std::string& host, int port, const std::string& remotePath,
                 const LocalFile& local, FileMode mode, std::string& errorText,
                 const std::string& proxy, ProgressCtrl* progress, int progressDivisor,
                 const std::atomic<int>* stop, const FetchLimits& limits, FetchDetails* details) {
    const Outcome fetched = FetchFile(host, port, remotePath, local, mode, proxy, progress,
                                      progressDivisor, stop, limits, details);
    if (fetched) {
        return 1;
    }
    if (fetched.Error().kind != FailureKind::Stopped) {
        errorText = Render(fetched.Error());
    }
    return 0;
}
