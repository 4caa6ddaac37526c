#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// Every failure the program can meet and tell the user of, by what went
// wrong, not by how it is worded: the catalogue (texts.h) holds the sentence
// of each, and Render (failure_text.h) fills it in.
enum class FailureKind : std::uint8_t {
    // The system's own text for its code.
    System,
    // The user stopped it: nothing to tell.
    Stopped,

    // Fetching a file.
    HostNameNotSpecified,
    LibraryError,  // the HTTP library's own text, in `text`
    FailedToConnect,
    ProxyNeedsLogin,
    UnexpectedStatus,   // `number`: the status
    TransferCoding,     // `text`: the coding the server named
    BodyTooLong,        // `number`: the most the file may hold
    CannotCreateFile,   // `path`
    FailedToWriteFile,  // `path`
    Stalled,            // `milliseconds`: the stall limit
    TooSlow,            // `number`: the floor in bytes per second; `milliseconds`: its window
    DeadlineMissed,     // `milliseconds`: the deadline
    RangeRefused,
    PreparationTimeSpent,

    // Preparing a download.
    CannotFindHomeDirectory,
    // `cause`, followed by the advice on firewalls, proxies and the single
    // file download.
    CannotFetchPackageFile,
    Incompatible,
    IndexMalformed,  // `path`
    IndexUnreadable,
    ProductVersionNotSpecified,
    InternalError2,
    UnreadableResumeState,  // `path`
    ForeignFolder,          // `path`
    PartsRepublished,       // `version`, `path`: a notice, the download goes on
    ResumeStateNotWritten,  // `path`
    PreviousDownloadCleaningUp,

    // The maker's checksums and signature.
    NotSigned,
    BadSignature,
    BadChecksumList,
    CannotRecordRelease,  // `path`
    SignedAhead,
    OlderRelease,  // `version` offered, `otherVersion` already had

    // Fetching the parts and joining them.
    PartMismatch,  // `name`
    PartGaveUp,    // `cause`, and that the user may try later
    CannotCreateOutputFile,
    CannotOpenInputFile,  // `path`
    IncorrectSize,        // `path`
    IncorrectData,        // `paths`
    InstallerMismatch,    // `path`

    // Starting, and opening the installer.
    FolderOpenToOthers,  // `path`: others can change it or a folder above it
    FolderInUse,         // `path`: another run holds its lock
    CannotCopyProgram,   // `path`, `cause`: why, and to choose another folder
    NotAFileThere,       // why a copy failed where the system gives no code
    NoReasonGiven,       // the system gave no text for its code
    RunsInPlace,         // `path`: a notice, the download goes there
    CannotStartCopy,     // `path`
};

// The last kind, for whoever goes through them all.
inline constexpr FailureKind kLastFailureKind = FailureKind::CannotStartCopy;

// One failure: its kind and what it is about. Subjects stay as they came
// (a path from the disk, a name or a version from the server); only the
// catalogue's rendering escapes them, once, on the way to the user.
struct Failure {
    FailureKind kind = FailureKind::System;
    int systemError = 0;             // the system's code, where there is one
    std::string path;                // a file or folder on this computer
    std::vector<std::string> paths;  // several of them
    std::string name;                // a file's name on the server
    std::string version;             // a version from the server
    std::string otherVersion;        // one this computer already has
    std::string text;                // a text from outside: the library, a header value
    std::int64_t number = 0;         // a status, a byte count, a rate
    std::int64_t milliseconds = 0;   // a time span
    // What this failure wraps, where its sentence carries another's.
    std::shared_ptr<const Failure> cause;

    Failure() = default;
    explicit Failure(FailureKind k) : kind(k) {}

    static Failure WithPath(FailureKind k, std::string p) {
        Failure f(k);
        f.path = std::move(p);
        return f;
    }
    static Failure OfSystem(int code) { return WithSystemError(FailureKind::System, code); }
    static Failure WithSystemError(FailureKind k, int code) {
        Failure f(k);
        f.systemError = code;
        return f;
    }
    static Failure Wrapping(FailureKind k, Failure inner) {
        Failure f(k);
        f.cause = std::make_shared<const Failure>(std::move(inner));
        return f;
    }
};

// A value or the failure that kept it from being made. (std::expected
// would do, but the fuzzers' compiler lacks it.)
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_state(std::move(value)) {}            // NOLINT: implicit on purpose
    Result(Failure failure) : m_state(std::move(failure)) {}  // NOLINT

    explicit operator bool() const { return m_state.index() == 0; }
    T& operator*() { return std::get<0>(m_state); }
    const T& operator*() const { return std::get<0>(m_state); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }
    const Failure& Error() const { return std::get<1>(m_state); }

  private:
    std::variant<T, Failure> m_state;
};

// Done, or the failure that kept it from being done.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : m_failure(std::make_shared<Failure>(std::move(failure))) {}  // NOLINT

    explicit operator bool() const { return m_failure == nullptr; }
    const Failure& Error() const { return *m_failure; }

  private:
    // Shared: a success, by far the common case, carries no Failure.
    std::shared_ptr<const Failure> m_failure;
};

using Outcome = Result<void>;
