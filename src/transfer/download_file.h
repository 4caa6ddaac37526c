#pragma once

#include <atomic>
#include <string>

class ProgressCtrl;

// The body is counted for the progress bar in blocks of this many bytes.
inline constexpr int kFetchBlockSize = 4096;

// How long a fetch may wait. A stall is a stretch in which no byte moves in
// either direction once the connection stands.
struct FetchTimeouts {
    long connectMs = 60000;
    long stallMs = 60000;
};

// Fetches http://host:port/remotePath with one HTTP/1.0 GET into localPath.
// `proxy` is "host:port" of an HTTP proxy; empty means the system's setting
// (the http_proxy and no_proxy variables). The local file is created only
// after a good status; in binary mode its data is on disk before success is
// returned. The progress bar, when given, moves by 4096 / divisor for every
// 4096 bytes received (a short last block counts as a whole one). A non-zero
// stop flag ends the fetch as failed without an error text, also while the
// server sends nothing. Returns 1, or 0 with a text in `errorText` (left
// untouched on a stop).
int DownloadFile(const std::string& host, int port, const std::string& remotePath,
                 const std::string& localPath, int binaryMode, std::string& errorText,
                 const std::string& proxy, ProgressCtrl* progress, int progressDivisor,
                 const std::atomic<int>* stop, const FetchTimeouts& timeouts = {});
