#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "framework/failure.h"
#include "framework/own_files.h"

class KeptConnection;
class ProgressCtrl;
class RatePacer;
class Sha256;

// The body is counted for the progress bar in blocks of this many bytes.
inline constexpr int kFetchBlockSize = 4096;

// What a fetch may take. A stall is a stretch in which no byte moves in
// either direction once the connection stands; a slow server is one whose
// body arrives at less than the floor on average over a whole window.
struct FetchLimits {
    long connectMs = 60000;
    long stallMs = 60000;
    long slowWindowMs = 60000;
    long slowFloorBytesPerSecond = 512;
    long deadlineMs = 0;      // for the whole fetch; 0: none
    long long maxBytes = -1;  // the most the body may hold; -1: no bound
};

// Where a fetch writes: a file in a folder held open. From a path, the
// folder is the path's parent.
struct LocalFile {
    LocalFile(const std::string& path);  // NOLINT: a path is what most callers have
    LocalFile(OwnFolder folder, std::string name);
    std::string Path() const { return path; }

    OwnFolder folder;
    std::string name;
    std::string path;
};

// More of one fetch than its arguments say: the hash of the body as it
// arrives, a part to continue, and what came of it.
struct FetchDetails {
    // Fed with every byte of the body; reset when the body starts from zero.
    Sha256* hash = nullptr;
    // Bytes already in the local file (the hash holds them): the rest is
    // asked for with "Range: bytes=N-". A 206 whose Content-Range starts
    // there and ends at the file's last byte is appended; a 200 starts the
    // file from zero; any other answer fails as RangeRefused, the file
    // untouched, and the caller asks again from zero. A 416 whose
    // "Content-Range: bytes */N" names exactly N = resumeFrom (and the
    // expected size, where known) says the file is whole already: the fetch
    // succeeds with `complete` set and the file untouched but synced.
    long long resumeFrom = 0;
    // The whole file's size where it is known (-1 when not).
    long long expectedSize = -1;
    // When set, kept at `countFrom` plus the local file's length as the body
    // arrives, for another thread to read: on from resumeFrom when the rest
    // is appended, back to `countFrom` when the file starts from zero.
    std::atomic<std::int64_t>* counter = nullptr;
    std::int64_t countFrom = 0;

    long status = 0;           // the answer's status, 0 when none came
    bool continued = false;    // the rest was appended
    bool complete = false;     // see resumeFrom
    long long fileLength = 0;  // the local file's length afterwards
    // The connection to keep between fetches to the server (none: each
    // fetch has its own).
    KeptConnection* connection = nullptr;
    // When the last byte was written to the local file (unchanged when
    // nothing was).
    std::chrono::steady_clock::time_point lastWrite{};
    // Holds the body to the user's speed limit (none: as fast as it comes).
    // Its pauses count neither as a stall nor as a slow server.
    RatePacer* pacer = nullptr;
};

// How the body is stored. Text mode writes each line feed as the platform's
// line end (CR LF on Windows, as the C library's text mode does); the other
// two keep the bytes as the server sent them, so that a checksum or a
// signature of the file is one of the server's bytes; binary mode also has
// them on disk before success is returned.
enum class FileMode { Text, AsSent, Binary };

// Fetches http://host:port/remotePath with one HTTP/1.0 GET into the local
// file, on a connection kept from an earlier fetch where the details hold
// one and no proxy is used. `proxy` is "host:port" of an HTTP proxy, used
// for every host; empty means the system's setting (the http_proxy and
// no_proxy variables). Only a 200 answer is a success. The local file is
// created afresh once the answer is known to be good; a body longer than
// limits.maxBytes fails and leaves no file.
// The progress bar, when given, moves by 4096 / divisor for every 4096 bytes
// received (a short last block counts as a whole one). A non-zero stop flag
// ends the fetch as failed with FailureKind::Stopped, also while the server
// sends nothing. A local file that could not be made, written or put on disk
// (CannotCreateFile, FailedToWriteFile) may not hold what arrived, so it is
// no file to continue.
Outcome FetchFile(const std::string& host, int port, const std::string& remotePath,
                  const LocalFile& local, FileMode mode, const std::string& proxy,
                  ProgressCtrl* progress, int progressDivisor, const std::atomic<int>* stop,
                  const FetchLimits& limits = {}, FetchDetails* details = nullptr);

// The same, as 1 or 0 with the failure's sentence in `errorText` (left
// untouched on a stop).
int DownloadFile(const std::string& host, int port, const std::string& remotePath,
                 const LocalFile& local, FileMode mode, std::string& errorText,
                 const std::string& proxy, ProgressCtrl* progress, int progressDivisor,
                 const std::atomic<int>* stop, const FetchLimits& limits = {},
                 FetchDetails* details = nullptr);
