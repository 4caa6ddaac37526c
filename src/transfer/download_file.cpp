#include "transfer/download_file.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "framework/durable_file.h"
#include "framework/file_copy.h"
#include "framework/progress_ctrl.h"
#include "framework/texts.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
// Bigger than libcurl's default so that a fast link costs fewer callbacks and
// write calls; the progress accounting does not depend on it.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr std::size_t kWriteBufferSize = 1 << 20;

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

// The remote path names a file literally: every byte outside the unreserved
// set is percent-encoded, so "?", "#" or "%" in a name reach the server as
// part of the name.
std::string EncodePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    if (path.empty() || path[0] != '/') {
        encoded += '/';
    }
    for (const unsigned char c : path) {
        if (IsUnreserved(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

// Why a fetch failed. The first failure a fetch meets is the one it reports.
enum class FetchFailure {
    None,
    Stopped,       // the stop flag was set: no error text
    BadStatus,     // the server answered with an error status
    CannotCreate,  // the local file cannot be created
    WriteFailed,   // a write, the sync or the close of the local file failed
    Stalled,       // nothing moved for the stall limit
};

class Fetch {
  public:
    Fetch(CURL* curl, const std::string& localPath, bool durable, ProgressCtrl* progress,
          int stepPerBlock, const std::atomic<int>* stop, long stallMs)
        : m_curl(curl),
          m_localPath(localPath),
          m_durable(durable),
          m_progress(progress),
          m_stepPerBlock(stepPerBlock),
          m_stop(stop),
          m_stallLimit(std::chrono::milliseconds(stallMs)) {}

    ~Fetch() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Fetch*>(self)->Body(data, size * count);
    }

    static std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* self) {
        static_cast<Fetch*>(self)->Touch();
        return size * count;
    }

    static int OnConnected(void* self, char*, char*, int, int) {
        auto* fetch = static_cast<Fetch*>(self);
        fetch->m_connected = true;
        fetch->Touch();
        return CURL_PREREQFUNC_OK;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                          curl_off_t sent) {
        return static_cast<Fetch*>(self)->Progress(received, sent);
    }

    // Creates the local file once the status is known to be good. Also called
    // after the transfer, for a good answer with an empty body.
    bool OpenLocalFile() {
        long status = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        // 0 means no status line could be read.
        if (status <= 0 || status >= 300) {
            Fail(FetchFailure::BadStatus);
            return false;
        }
        // A link at the part's place is not followed: the file lands where
        // its name says or not at all.
        m_fd =
            open(m_localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_fd < 0) {
            Fail(FetchFailure::CannotCreate);
            return false;
        }
        m_writeback = EarlyWriteback(m_fd);
        m_buffer.reserve(kWriteBufferSize);
        return true;
    }

    // Closes the local file, first putting its data on disk when asked to.
    bool Finish(bool sync) {
        if (m_fd < 0) {
            return true;
        }
        bool ok = Flush();
        ok = ok && (!sync || fdatasync(m_fd) == 0);
        ok = close(m_fd) == 0 && ok;
        m_fd = -1;
        return ok;
    }

    bool HasFile() const { return m_fd >= 0; }
    FetchFailure Failure() const { return m_failure; }
    void Fail(FetchFailure failure) {
        if (m_failure == FetchFailure::None) {
            m_failure = failure;
        }
    }

  private:
    std::size_t Body(const char* data, std::size_t length) {
        if (m_fd < 0 && !OpenLocalFile()) {
            return CURL_WRITEFUNC_ERROR;
        }
        // libcurl hands the body over in pieces of at most 16 KiB; they are
        // gathered so that the file sees few, large writes.
        if (m_buffer.size() + length > kWriteBufferSize && !Flush()) {
            return CURL_WRITEFUNC_ERROR;
        }
        if (length >= kWriteBufferSize) {
            if (!WriteAll(data, length)) {
                return CURL_WRITEFUNC_ERROR;
            }
        } else {
            m_buffer.insert(m_buffer.end(), data, data + length);
        }
        m_received += length;
        if (m_progress != nullptr) {
            const std::uint64_t blocks = (m_received + kFetchBlockSize - 1) / kFetchBlockSize;
            m_progress->DeltaPos(static_cast<int>(blocks - m_blocksShown) * m_stepPerBlock);
            m_blocksShown = blocks;
        }
        Touch();
        if (StopRequested()) {
            return CURL_WRITEFUNC_ERROR;
        }
        return length;
    }

    bool Flush() {
        const bool ok = m_buffer.empty() || WriteAll(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

    bool WriteAll(const char* data, std::size_t length) {
        if (!::WriteAll(m_fd, data, length)) {
            Fail(FetchFailure::WriteFailed);
            return false;
        }
        m_written += static_cast<std::int64_t>(length);
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
        if (m_connected && Clock::now() - m_lastActivity > m_stallLimit) {
            Fail(FetchFailure::Stalled);
            return 1;
        }
        return 0;
    }

    bool StopRequested() {
        if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed) != 0) {
            Fail(FetchFailure::Stopped);
            return true;
        }
        return false;
    }

    void Touch() { m_lastActivity = Clock::now(); }

    CURL* m_curl;
    const std::string& m_localPath;
    // Binary files (the parts) must be on disk before success is reported.
    bool m_durable;
    EarlyWriteback m_writeback{-1};
    std::vector<char> m_buffer;
    std::int64_t m_written = 0;
    ProgressCtrl* m_progress;
    int m_stepPerBlock;
    const std::atomic<int>* m_stop;
    Clock::duration m_stallLimit;
    Clock::time_point m_lastActivity = Clock::now();
    curl_off_t m_lastReceived = 0;
    curl_off_t m_lastSent = 0;
    std::uint64_t m_received = 0;
    std::uint64_t m_blocksShown = 0;
    int m_fd = -1;
    bool m_connected = false;
    FetchFailure m_failure = FetchFailure::None;
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

}  // namespace

int DownloadFile(const std::string& host, int port, const std::string& remotePath,
                 const std::string& localPath, int binaryMode, std::string& errorText,
                 const std::string& proxy, ProgressCtrl* progress, int progressDivisor,
                 const std::atomic<int>* stop, const FetchTimeouts& timeouts) {
    if (host.empty()) {
        errorText = text::kHostNameNotSpecified;
        return 0;
    }
    EasyHandle handle;
    if (handle.curl == nullptr || handle.url == nullptr) {
        errorText = curl_easy_strerror(CURLE_OUT_OF_MEMORY);
        return 0;
    }
    if (const CURLUcode rc = SetUrl(handle.url, host, port, remotePath); rc != CURLUE_OK) {
        errorText = curl_url_strerror(rc);
        return 0;
    }

    CURL* curl = handle.curl;
    Fetch fetch(curl, localPath, binaryMode != 0, progress,
                progressDivisor != 0 ? static_cast<int>(kFetchBlockSize) / progressDivisor : 0,
                stop, timeouts.stallMs);
    char curlError[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_CURLU, handle.url);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, text::kAppTitle);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    if (!proxy.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
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

    const CURLcode result = curl_easy_perform(curl);
    // A good answer with an empty body still leaves an (empty) file.
    const bool transferred = result == CURLE_OK && (fetch.HasFile() || fetch.OpenLocalFile());
    if (!fetch.Finish(transferred && binaryMode != 0)) {
        fetch.Fail(FetchFailure::WriteFailed);
    }

    switch (fetch.Failure()) {
        case FetchFailure::Stopped:
            return 0;
        case FetchFailure::BadStatus:
            errorText = text::kFailedToConnect;
            return 0;
        case FetchFailure::CannotCreate:
            errorText = text::kCannotCreateFile + localPath;
            return 0;
        case FetchFailure::WriteFailed:
            errorText = text::kFailedToWriteFile + localPath;
            return 0;
        case FetchFailure::Stalled: {
            const long seconds = (timeouts.stallMs + 999) / 1000;
            errorText = text::kStalledBefore + std::to_string(seconds) +
                        (seconds == 1 ? text::kSecond : text::kSeconds) + text::kStalledAfter;
            return 0;
        }
        case FetchFailure::None:
            break;
    }
    if (result != CURLE_OK) {
        errorText = curlError[0] != '\0' ? curlError : curl_easy_strerror(result);
        return 0;
    }
    return 1;
}
