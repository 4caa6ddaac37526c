#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/file_system.h"
#include "framework/sha256.h"

class PackageIndex;
class ProgressCtrl;

// What the maker's checksums say the join must give, where they are known.
struct JoinCheck {
    Sha256Digest installer;
    // Each part's, in index order: the parts that spoil a wrong installer
    // are found by them.
    const std::vector<Sha256Digest>* parts;
};

// Joins the parts into the installer while they arrive, on a thread that
// trails the worker, so that only the last part's append, the check and the
// rename remain once its last byte is in. Each part handed over is appended
// (cloned where the file system can) to the growing file "<output>.partial"
// and, with a check, hashed on the way. Every few seconds the growing file
// is put on disk and then its length recorded in "<output>.joined": a later
// run continues from what that record vouches for, reading it back to hash
// it again (and, with the parts' checksums, to find each part in it
// intact), and never from bytes beyond it. The output appears only once
// complete, checked and on disk.
class GrowingJoin {
  public:
    // Reads the record of an earlier run. A part not done in `index` may be
    // fetched anew, so the record is cut back to before it, on disk, before
    // this returns. `cancel` (closing) ends the join at any time.
    GrowingJoin(const PackageIndex& index, const OwnFolder& folder, std::string outputName,
                const JoinCheck* check, const std::atomic<int>* cancel);
    // Ends the trailing thread where it stands, as Stop() does.
    ~GrowingJoin();
    GrowingJoin(const GrowingJoin&) = delete;
    GrowingJoin& operator=(const GrowingJoin&) = delete;

    // Starts the trailing thread; nothing when it runs already.
    void Start();
    // Part `i`, named `name`, is done and on disk. Parts are handed over in
    // index order, each once.
    void PartReady(std::size_t i, const std::string& name);
    // Ends the trailing thread after the part it is on, recording what it
    // joined for the next run.
    void Stop();
    // How many parts the growing file holds.
    std::size_t JoinedParts();

    // Waits until every part is joined, then checks the result and puts it
    // in place. Everything of MergeParts's promise holds: every part but the
    // last has exactly the part size and the last from 1 to the part size;
    // on failure the user is told (on the calling thread), the done flag of
    // a part that is missing, unreadable, of the wrong size or spoilt is
    // cleared in `index`, and 0 is returned. The part bar shows the parts
    // joined while it waits.
    int Finish(PackageIndex& index, ProgressCtrl* progress);

  private:
    enum class Fault { None, CannotCreate, CannotOpenPart, WrongSize, WriteFailed, Cancelled };
    struct ReadyPart {
        std::size_t index;
        std::string name;
    };

    void Run();
    // Continues the growing file from the record, or starts it afresh.
    void Resume();
    bool ReadBack(const FileHandle& file);
    Fault Append(const ReadyPart& part);
    // Puts what is joined on disk and records it, every so often.
    void RecordNowAndThen(bool force);
    bool Cancelled() const;
    // Stopped or cancelled: reading back or hashing ends at once.
    bool Ending() const;
    void Fail(Fault failure, std::size_t part);

    const OwnFolder m_folder;
    const std::string m_outputName;
    const std::string m_growingName;
    const std::string m_recordName;
    const std::size_t m_partCount;
    const std::int64_t m_partSize;
    const bool m_checked;
    JoinCheck m_check{};
    const std::atomic<int>* m_cancel;

    // The record of an earlier run, as far as it still holds.
    std::size_t m_recordedParts = 0;
    FileIdentity m_recordedIdentity{};

    // Owned by the trailing thread while it runs.
    FileHandle m_out;
    FileHandle m_readBack;
    FileAppender m_appender;
    EarlyWriteback m_writeback{&m_out};
    Sha256 m_hash;
    std::int64_t m_length = 0;
    std::int64_t m_lengthRecorded = 0;
    std::chrono::steady_clock::time_point m_recordedAt;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ReadyPart> m_ready;
    std::size_t m_joined = 0;  // parts in the growing file
    bool m_stopping = false;
    std::atomic<bool> m_stopFlag{false};
    bool m_running = false;  // the thread has not ended yet
    Fault m_failure = Fault::None;
    std::size_t m_failedPart = 0;
    std::thread m_thread;
};
