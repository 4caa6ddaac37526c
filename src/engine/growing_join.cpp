#include "engine/growing_join.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "framework/durable_file.h"
#include "framework/file_hash.h"
#include "framework/own_files.h"
#include "framework/progress_ctrl.h"
#include "framework/user_report.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the growing file is put on disk and recorded: each time costs a
// sync, and a crash costs at most what was joined since, joined again.
constexpr auto kRecordEvery = std::chrono::seconds(2);
// Also bounds what a Stop puts on disk before the worker ends.
constexpr std::int64_t kRecordEveryBytes = 64 << 20;
constexpr std::size_t kMaxRecordBytes = 128;
constexpr std::size_t kReadBuffer = 1 << 20;

// One line: the parts joined, their length, and the device and file number
// of the growing file they are in. Anything else in the file matches nothing.
std::string RecordLine(std::size_t parts, std::int64_t length, const FileIdentity& id) {
    return std::to_string(parts) + ' ' + std::to_string(length) + ' ' + std::to_string(id.device) +
           ' ' + std::to_string(id.file) + '\n';
}

bool ParseRecord(const std::string& line, std::size_t& parts, std::int64_t& length,
                 FileIdentity& id) {
    unsigned long long p = 0;
    long long l = 0;
    unsigned long long device = 0;
    unsigned long long file = 0;
    if (std::sscanf(line.c_str(), "%llu %lld %llu %llu", &p, &l, &device, &file) != 4) {
        return false;
    }
    parts = static_cast<std::size_t>(p);
    length = l;
    id.device = device;
    id.file = file;
    return RecordLine(parts, length, id) == line;
}

bool WriteRecord(const OwnFolder& folder, const std::string& name, const std::string& line) {
    DurableReplacement record(folder, name, kSaveTemporarySuffix);
    return record.Write(line) && record.Commit();
}

// Feeds `length` bytes of `file` from `offset` to each hash given.
template <typename Ending>
bool HashRange(const FileHandle& file, std::int64_t offset, std::int64_t length, Sha256* first,
               Sha256* second, const Ending& ending, std::vector<char>& buffer) {
    for (std::int64_t at = 0; at < length;) {
        if (ending()) {
            return false;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(length - at, buffer.size()));
        std::size_t got = 0;
        if (!ReadAt(file, offset + at, buffer.data(), want, got) || got == 0) {
            return false;
        }
        for (Sha256* hash : {first, second}) {
            if (hash != nullptr) {
                hash->Update(buffer.data(), got);
            }
        }
        at += static_cast<std::int64_t>(got);
    }
    return true;
}

// The parts whose files no longer match their checksums, all of them, so
// that one Download fetches them all again; false once `cancel` is set.
bool FindSpoiltParts(const PackageIndex& index, const OwnFolder& folder,
                     const std::vector<Sha256Digest>& digests, const std::atomic<int>* cancel,
                     std::vector<std::size_t>& spoilt) {
    for (std::size_t i = 0; i < index.m_parts.size() && i < digests.size(); ++i) {
        Sha256 hash;
        const bool read = HashOwnFile(folder, index.m_parts[i].m_name, hash, cancel);
        if (cancel != nullptr && cancel->load() != 0) {
            return false;
        }
        if (!read || hash.Digest() != digests[i]) {
            spoilt.push_back(i);
        }
    }
    return true;
}

}  // namespace

GrowingJoin::GrowingJoin(const PackageIndex& index, const OwnFolder& folder, std::string outputName,
                         const JoinCheck* check, const std::atomic<int>* cancel)
    : m_folder(folder),
      m_outputName(std::move(outputName)),
      m_growingName(m_outputName + kPartialSuffix),
      m_recordName(m_outputName + kJoinRecordSuffix),
      m_partCount(index.m_parts.size()),
      m_partSize(index.m_partSize),
      m_checked(check != nullptr),
      m_cancel(cancel) {
    if (check != nullptr) {
        m_check = *check;
    }
    std::string line;
    std::int64_t length = 0;
    if (!ReadOwnFile(m_folder, m_recordName, kMaxRecordBytes, line) ||
        !ParseRecord(line, m_recordedParts, length, m_recordedIdentity) ||
        m_recordedParts >= m_partCount || m_partSize <= 0 ||
        length != static_cast<std::int64_t>(m_recordedParts) * m_partSize) {
        m_recordedParts = 0;
        return;
    }
    // A part not done may arrive with other bytes than those joined; the
    // record must not vouch for them should this run end before it is
    // written again.
    std::size_t done = 0;
    while (done < m_recordedParts && index.m_parts[done].m_done != 0) {
        ++done;
    }
    if (done < m_recordedParts) {
        m_recordedParts = done;
        if (!WriteRecord(m_folder, m_recordName,
                         RecordLine(done, static_cast<std::int64_t>(done) * m_partSize,
                                    m_recordedIdentity))) {
            m_recordedParts = 0;
            RemoveOwnFile(m_folder, m_recordName);
        }
    }
}

GrowingJoin::~GrowingJoin() {
    Stop();
}

void GrowingJoin::Start() {
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable() || m_stopping) {
        return;
    }
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void GrowingJoin::PartReady(std::size_t i, const std::string& name) {
    {
        std::lock_guard lock(m_mutex);
        m_ready.push_back({i, name});
    }
    m_changed.notify_all();
}

void GrowingJoin::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_stopFlag.store(true);
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::size_t GrowingJoin::JoinedParts() {
    std::lock_guard lock(m_mutex);
    return m_joined;
}

bool GrowingJoin::Cancelled() const {
    return m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed) != 0;
}

bool GrowingJoin::Ending() const {
    return m_stopFlag.load(std::memory_order_relaxed) || Cancelled();
}

void GrowingJoin::Fail(Fault fault, std::size_t part) {
    std::lock_guard lock(m_mutex);
    m_failure = fault;
    m_failedPart = part;
}

void GrowingJoin::Run() {
    if (Ending()) {
        // Ended before it began: nothing is made.
        std::lock_guard lock(m_mutex);
        m_failure = Fault::Cancelled;
        m_running = false;
        m_changed.notify_all();
        return;
    }
    Resume();
    if (!m_out.IsOpen()) {
        Fail(Ending() ? Fault::Cancelled : Fault::CannotCreate, 0);
    }
    while (m_out.IsOpen() && m_joined < m_partCount) {
        ReadyPart part;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::milliseconds(200), [&] {
                return m_stopping || (!m_ready.empty() && m_ready.front().index <= m_joined);
            });
            // Parts the record already holds are not joined again.
            while (!m_ready.empty() && m_ready.front().index < m_joined) {
                m_ready.pop_front();
            }
            if (m_stopping || Cancelled()) {
                break;
            }
            if (m_ready.empty() || m_ready.front().index != m_joined) {
                continue;
            }
            part = std::move(m_ready.front());
            m_ready.pop_front();
        }
        const Fault fault = Append(part);
        if (fault != Fault::None) {
            Fail(fault, part.index);
            break;
        }
        const bool last = part.index + 1 == m_partCount;
        if (!last) {
            RecordNowAndThen(false);
        }
        {
            std::lock_guard lock(m_mutex);
            m_joined = part.index + 1;
        }
        m_changed.notify_all();
        if (last) {
            break;
        }
    }
    // Stopped: what is joined is recorded for the next run. Closing does
    // not wait for the disk.
    if (m_out.IsOpen() && !Cancelled() && m_joined < m_partCount && m_length > m_lengthRecorded) {
        RecordNowAndThen(true);
    }
    {
        std::lock_guard lock(m_mutex);
        if (Ending() && m_failure == Fault::None && m_joined < m_partCount) {
            m_failure = Fault::Cancelled;
        }
        m_running = false;
    }
    m_changed.notify_all();
}

void GrowingJoin::Resume() {
    m_recordedAt = Clock::now();
    const std::int64_t recorded = static_cast<std::int64_t>(m_recordedParts) * m_partSize;
    if (m_recordedParts > 0) {
        m_out = OpenOwnFileForAppending(m_folder, m_growingName, recorded, LongerFile::Cut);
        m_readBack = OpenOwnFileForReading(m_folder, m_growingName);
        EntryInfo written;
        EntryInfo read;
        const bool same =
            m_out.IsOpen() && m_readBack.IsOpen() && StatFile(m_out, written) &&
            StatFile(m_readBack, read) && written.identity.device == m_recordedIdentity.device &&
            written.identity.file == m_recordedIdentity.file && read.identity == written.identity;
        if (same && ReadBack(m_readBack)) {
            return;
        }
        // Closed before it is made afresh: Windows keeps an open file's name.
        m_out.Close();
        m_readBack.Close();
        if (Ending()) {
            return;
        }
    }
    m_out = CreateOwnFile(m_folder, m_growingName);
    m_readBack = m_out.IsOpen() ? OpenOwnFileForReading(m_folder, m_growingName) : FileHandle();
    m_hash.Reset();
    m_length = m_lengthRecorded = 0;
    EntryInfo info;
    // A record of an earlier file must not come to vouch for this one (its
    // number may be the same): it says nothing is joined yet.
    if (!m_readBack.IsOpen() || !StatFile(m_out, info) ||
        !WriteRecord(m_folder, m_recordName, RecordLine(0, 0, info.identity))) {
        m_out.Close();
    }
}

// The hash of what the record vouches for, read back since the hash's state
// cannot be kept; with the parts' checksums, only as far as each part in it
// is intact. The growing file is cut back behind the first one that is not.
bool GrowingJoin::ReadBack(const FileHandle& file) {
    std::vector<char> buffer(kReadBuffer);
    const auto ending = [this] { return Ending(); };
    std::size_t intact = m_recordedParts;
    if (m_checked) {
        const std::vector<Sha256Digest>* digests = m_check.parts;
        for (std::size_t i = 0; i < m_recordedParts; ++i) {
            Sha256 part;
            const bool perPart = digests != nullptr && i < digests->size();
            if (!HashRange(file, static_cast<std::int64_t>(i) * m_partSize, m_partSize, &m_hash,
                           perPart ? &part : nullptr, ending, buffer)) {
                return false;
            }
            if (perPart && part.Digest() != (*digests)[i]) {
                intact = i;
                break;
            }
        }
    }
    m_length = static_cast<std::int64_t>(intact) * m_partSize;
    if (intact < m_recordedParts) {
        // The hash holds the bad part too: it starts again from the intact ones.
        m_hash.Reset();
        if (!HashRange(file, 0, m_length, &m_hash, nullptr, ending, buffer)) {
            return false;
        }
        m_out = OpenOwnFileForAppending(m_folder, m_growingName, m_length, LongerFile::Cut);
        if (!m_out.IsOpen()) {
            return false;
        }
    }
    m_lengthRecorded = m_length;
    std::lock_guard lock(m_mutex);
    m_joined = intact;
    return true;
}

GrowingJoin::Fault GrowingJoin::Append(const ReadyPart& part) {
    FileHandle in = OpenOwnFileForReading(m_folder, part.name);
    if (!in.IsOpen()) {
        return Fault::CannotOpenPart;
    }
    std::int64_t total = 0;
    const Outcome copied = m_appender.Append(in, m_out, total);
    if (!copied && copied.Error().kind == FailureKind::FailedToWriteFile) {
        return Fault::WriteFailed;
    }
    if (!copied) {
        return Fault::CannotOpenPart;
    }
    // Every part but the last is exactly the part size; the last holds at
    // least a byte and at most a part.
    const bool last = part.index + 1 == m_partCount;
    if (last ? total < 1 || total > m_partSize : total != m_partSize) {
        return Fault::WrongSize;
    }
    const std::int64_t at = m_length;
    m_length += total;
    m_writeback.Wrote(m_length);
    if (m_checked) {
        // What was copied is read back from the growing file (its pages are
        // fresh in memory); what was cloned shares the part's blocks, and is
        // read from the part rather than from the disk.
        std::vector<char> buffer(kReadBuffer);
        const bool cloned = m_appender.Cloned();
        if (!HashRange(
                cloned ? in : m_readBack, cloned ? 0 : at, total, &m_hash, nullptr,
                [this] { return Ending(); }, buffer)) {
            return Ending() ? Fault::Cancelled : Fault::WriteFailed;
        }
    }
    return Fault::None;
}

void GrowingJoin::RecordNowAndThen(bool force) {
    const Clock::time_point now = Clock::now();
    if (!force && now - m_recordedAt < kRecordEvery &&
        m_length - m_lengthRecorded < kRecordEveryBytes) {
        return;
    }
    m_recordedAt = now;
    EntryInfo info;
    // The data first, then the record that vouches for it.
    if (!SyncData(m_out) || !StatFile(m_out, info)) {
        return;
    }
    const std::size_t parts = static_cast<std::size_t>(m_length / m_partSize);
    if (WriteRecord(m_folder, m_recordName, RecordLine(parts, m_length, info.identity))) {
        m_lengthRecorded = m_length;
    }
}

int GrowingJoin::Finish(PackageIndex& index, ProgressCtrl* progress) {
    Start();
    const std::string output = m_folder.PathOf(m_outputName);
    int lower = 0;
    int upper = 0;
    if (progress != nullptr) {
        progress->GetRange(lower, upper);
    }
    const int step = m_partCount > 0 ? (upper - lower) / static_cast<int>(m_partCount) : 0;
    Fault fault = Fault::None;
    std::size_t failedPart = 0;
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (progress != nullptr) {
                progress->SetPos(lower + step * static_cast<int>(m_joined));
            }
            if (!m_running) {
                break;
            }
            m_changed.wait(lock);
        }
        fault = m_failure;
        failedPart = m_failedPart;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // A join that failed leaves nothing behind (and frees the disk it
    // filled); one that was ended leaves what it recorded to go on from.
    const auto end = [&]() {
        m_out.Close();
        m_readBack.Close();
        return 0;
    };
    const auto fail = [&](const Failure& failure) {
        end();
        // Only a growing file that was made or continued is the program's.
        if (fault != Fault::CannotCreate) {
            RemoveOwnFile(m_folder, m_recordName);
            RemoveOwnFile(m_folder, m_growingName);
        }
        Report(failure);
        return 0;
    };
    std::vector<PackagePart>& parts = index.m_parts;
    const std::string partPath =
        failedPart < parts.size() ? m_folder.PathOf(parts[failedPart].m_name) : std::string();
    switch (fault) {
        case Fault::None:
            break;
        case Fault::Cancelled:
            return end();
        case Fault::CannotCreate:
            return fail(Failure(FailureKind::CannotCreateOutputFile));
        case Fault::WriteFailed:
            return fail(Failure::WithPath(FailureKind::FailedToWriteFile, output));
        case Fault::CannotOpenPart:
            parts[failedPart].m_done = 0;
            return fail(Failure::WithPath(FailureKind::CannotOpenInputFile, partPath));
        case Fault::WrongSize:
            RemoveOwnFile(m_folder, parts[failedPart].m_name);
            parts[failedPart].m_done = 0;
            return fail(Failure::WithPath(FailureKind::IncorrectSize, partPath));
    }
    if (m_joined < m_partCount) {
        // Stopped before the last part: the next run goes on from the record.
        return end();
    }
    if (m_checked && m_hash.Digest() != m_check.installer) {
        // The growing file holds bytes no part vouches for: the next run
        // starts it afresh (closed first: Windows keeps an open file's name).
        m_out.Close();
        m_readBack.Close();
        RemoveOwnFile(m_folder, m_recordName);
        RemoveOwnFile(m_folder, m_growingName);
        std::vector<std::size_t> spoilt;
        if (m_check.parts != nullptr &&
            !FindSpoiltParts(index, m_folder, *m_check.parts, m_cancel, spoilt)) {
            return end();
        }
        if (spoilt.empty()) {
            return fail(Failure::WithPath(FailureKind::InstallerMismatch, output));
        }
        Failure wrongData(FailureKind::IncorrectData);
        for (const std::size_t i : spoilt) {
            RemoveOwnFile(m_folder, parts[i].m_name);
            parts[i].m_done = 0;
            wrongData.paths.push_back(m_folder.PathOf(parts[i].m_name));
        }
        return fail(wrongData);
    }
    const bool synced = SyncData(m_out);
    m_readBack.Close();
    if (!m_out.Close() || !synced) {
        return fail(Failure::WithPath(FailureKind::FailedToWriteFile, output));
    }
    if (!RenameOwnFile(m_folder, m_growingName, m_folder, m_outputName)) {
        // Something that is not ours stands at the installer's name.
        return fail(Failure(FailureKind::CannotCreateOutputFile));
    }
    // The rename is on disk only once the folder is; the record goes after
    // it, so that no crash leaves a growing file without one.
    SyncFolder(m_folder);
    RemoveOwnFile(m_folder, m_recordName);
    return 1;
}
