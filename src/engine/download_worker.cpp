#include "engine/download_worker.h"

#include <optional>

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "engine/growing_join.h"
#include "engine/installer_check.h"
#include "framework/dialog_items.h"
#include "framework/file_hash.h"
#include "framework/own_files.h"
#include "framework/resource_ids.h"
#include "framework/sha256.h"
#include "framework/shown_text.h"
#include "framework/texts.h"
#include "framework/user_report.h"

namespace {

constexpr int kAttemptsPerPart = 3;

// One part on its way: how much of it is in its file, and, where the maker's
// checksum of it is known, the hash of those bytes, so that an attempt
// cut short is continued from where it stopped and a finished part is
// checked without reading it again.
class PartFetch {
  public:
    // `countFrom`: the package's bytes before this part, for BytesDone().
    PartFetch(DownloadState& state, std::size_t i, std::int64_t countFrom)
        : m_state(state),
          m_part(state.m_index.m_parts[i]),
          m_local(state.m_versionFolder, m_part.m_name),
          m_remote(state.m_strServerFolder + "/" + m_part.m_name),
          m_digest(state.m_partDigests.empty() ? nullptr : &state.m_partDigests[i]) {
        // No part is longer than the part size, the last one included; all
        // but the last are exactly that long.
        m_limits = state.m_limits;
        m_limits.maxBytes = state.m_index.m_partSize;
        m_details.expectedSize =
            i + 1 < state.m_index.m_parts.size() ? state.m_index.m_partSize : -1;
        m_details.counter = &state.m_nBytesDone;
        m_details.connection = &state.m_connection;
        m_details.pacer = &state.m_pacer;
        m_details.countFrom = countFrom;
        // What an earlier run left of it is continued (or, whole, taken)
        // only when the checksum can tell a good tail from a bad one. A file
        // longer than a part is no part: it starts again from zero.
        EntryInfo info;
        if (m_digest != nullptr && StatOwnEntry(m_local.folder, m_local.name, info) &&
            info.kind == EntryKind::File && info.links == 1 && info.size > 0 &&
            info.size <= state.m_index.m_partSize) {
            HashFromDisk();
        }
        Count();
    }

    // The part's size on disk once an attempt has succeeded.
    std::int64_t Length() const { return m_details.fileLength; }
    // When its last byte was written, if this run wrote any.
    std::chrono::steady_clock::time_point LastWrite() const { return m_details.lastWrite; }

    // The part bar where the part stands: empty, or as far as it came.
    void ShowWhereItStands() {
        const long long blocks = (m_have + kFetchBlockSize - 1) / kFetchBlockSize;
        m_state.m_progressPart.SetPos(
            static_cast<int>(blocks * (kFetchBlockSize / kProgressDivisor)));
    }

    // One attempt: true once the part is on disk and, where it can be
    // checked, right.
    bool Attempt(Failure& error) {
        // A part of known size that is whole on disk is not asked for again:
        // the server could only answer that there is nothing left to send.
        bool fetched =
            m_have > 0 && m_have == m_details.expectedSize ? TakeWholeFile(error) : Fetch(error);
        if (!fetched && m_lastFetch == FailureKind::RangeRefused) {
            // Not continued as asked: the whole part again, at once.
            m_have = 0;
            m_hash.Reset();
            m_state.m_progressPart.SetPos(0);
            Count();
            fetched = Fetch(error);
        }
        if (fetched && m_digest != nullptr && m_hash.Digest() != *m_digest) {
            RemoveOwnFile(m_local.folder, m_local.name);
            m_have = 0;
            m_hash.Reset();
            Count();
            error = Failure(FailureKind::PartMismatch);
            error.name = m_part.m_name;
            return false;
        }
        if (fetched) {
            return true;
        }
        // The next attempt continues what is on disk (the last part, whole
        // already, gets a 416 that says so), unless the disk failed it: a
        // write or sync that failed once may succeed on a new descriptor
        // without the data ever reaching the disk.
        const bool localWriteFailed = m_lastFetch == FailureKind::CannotCreateFile ||
                                      m_lastFetch == FailureKind::FailedToWriteFile;
        m_have = localWriteFailed ? 0 : m_details.fileLength;
        if (m_have == 0) {
            m_hash.Reset();
        }
        if (m_digest != nullptr && m_hash.Length() != static_cast<std::uint64_t>(m_have)) {
            HashFromDisk();
        }
        Count();
        return false;
    }

  private:
    // A stop leaves `error` as the attempt before left it.
    bool Fetch(Failure& error) {
        m_details.hash = m_digest != nullptr ? &m_hash : nullptr;
        m_details.resumeFrom = m_have;
        const Outcome fetched = FetchFile(
            m_state.m_strHost, kHttpPort, m_remote, m_local, FileMode::Binary, m_state.GetProxy(),
            &m_state.m_progressPart, kProgressDivisor, &m_state.m_bStop, m_limits, &m_details);
        m_lastFetch = fetched ? std::nullopt : std::optional(fetched.Error().kind);
        if (!fetched && fetched.Error().kind != FailureKind::Stopped) {
            error = fetched.Error();
        }
        return static_cast<bool>(fetched);
    }

    // The file is whole; it only needs to be on disk before it is recorded.
    bool TakeWholeFile(Failure& error) {
        m_details.fileLength = m_have;
        if (SyncOwnFile(m_local.folder, m_local.name)) {
            return true;
        }
        error = Failure::WithPath(FailureKind::FailedToWriteFile, m_local.Path());
        m_details.fileLength = 0;
        return false;
    }

    // What the fetch counts on from, as it stands between attempts.
    void Count() {
        m_state.m_nBytesDone.store(m_details.countFrom + m_have, std::memory_order_relaxed);
    }

    // The hash of what the part's file holds; nothing to continue when it
    // cannot be read.
    void HashFromDisk() {
        m_hash.Reset();
        m_have = 0;
        if (HashOwnFile(m_local.folder, m_local.name, m_hash, &m_state.m_bStop)) {
            m_have = static_cast<long long>(m_hash.Length());
        } else {
            m_hash.Reset();
        }
    }

    DownloadState& m_state;
    const PackagePart& m_part;
    const LocalFile m_local;
    const std::string m_remote;
    const Sha256Digest* m_digest;
    FetchLimits m_limits;
    FetchDetails m_details;
    Sha256 m_hash;
    long long m_have = 0;
    // How the last fetch failed; nothing when it did not.
    std::optional<FailureKind> m_lastFetch;
};

}  // namespace

int DownloadWorker(DownloadState& state) {
    PackageIndex& index = state.m_index;
    DialogItems& items = state.m_items;
    // The parts done so far; those done before this run are counted already.
    std::int64_t partsBytes = state.m_nBytesDone.load();
    state.m_nLastByteToInstallUs.store(-1);
    std::chrono::steady_clock::time_point lastByte{};

    // The parts are joined as they come, by a thread that trails this one,
    // unless an installer stands already: whether it is complete is decided
    // at the end, as ever.
    const JoinCheck check{state.m_installerDigest, &state.m_partDigests};
    GrowingJoin join(index, state.m_versionFolder, kInstallerFileName,
                     state.m_partDigests.empty() ? nullptr : &check, &state.m_bClosing);
    EntryInfo standing;
    if (!StatOwnEntry(state.m_versionFolder, kInstallerFileName, standing)) {
        join.Start();
    }
    // Every way out ends here: the trailing thread has ended, and clearing
    // the marker is the last thing the worker does to the shared state.
    const auto finish = [&state, &join](int result) {
        join.Stop();
        state.m_nWorkerResult.store(result);
        state.m_pWorker.store(nullptr, std::memory_order_release);
        return result;
    };

    for (std::size_t i = 0; i < index.m_parts.size(); ++i) {
        if (state.m_bStop.load() != 0) {
            return finish(kWorkerFinished);
        }
        PackagePart& part = index.m_parts[i];
        if (part.m_done != 0) {
            state.m_progressOverall.SetPos(static_cast<int>(i + 1));
            join.PartReady(i, part.m_name);
            continue;
        }
        items.ShowItem(res::IDC_PART_LABEL, true);
        items.SetItemText(res::IDC_PART_LABEL, ShownAsItStands(part.m_name));
        items.ShowItem(res::IDC_PROGRESS_PART, true);
        PartFetch fetch(state, i, partsBytes);
        Failure error;
        for (int attempt = 1;; ++attempt) {
            if (state.m_bStop.load() != 0) {
                state.m_progressPart.SetPos(0);
                return finish(kWorkerFinished);
            }
            fetch.ShowWhereItStands();
            if (fetch.Attempt(error)) {
                break;
            }
            if (state.m_bStop.load() == 0) {
                state.RetryPause();
            }
            if (attempt < kAttemptsPerPart) {
                continue;
            }
            if (!state.IsClosing()) {
                Report(Failure::Wrapping(FailureKind::PartGaveUp, error));
            }
            return finish(kWorkerGaveUp);
        }
        // The part is on disk (the fetch synced it) before it is recorded.
        part.m_done = 1;
        if (!index.SavePart(i)) {
            // Going on would leave finished parts unrecorded; the flag stays
            // set in memory and the next save records it.
            if (!state.IsClosing()) {
                Report(Failure::WithPath(FailureKind::ResumeStateNotWritten, index.m_path));
            }
            return finish(kWorkerGaveUp);
        }
        join.PartReady(i, part.m_name);
        state.m_progressOverall.SetPos(static_cast<int>(i + 1));
        partsBytes += fetch.Length();
        state.m_nBytesDone.store(partsBytes);
        if (i + 1 == index.m_parts.size()) {
            // The last part's size is known now that it is there.
            state.m_nPackageBytes.store(static_cast<std::int64_t>(i) * index.m_partSize +
                                        fetch.Length());
            lastByte = fetch.LastWrite();
        }
    }

    const bool complete = KeepInstallerIfComplete(state, InstallerCheck::Reading);
    if (!complete && state.m_bStop.load() != 0) {
        // Stopped while the installer was checked: the join, which only
        // closing ends, waits for the next Download.
        return finish(kWorkerFinished);
    }
    if (!complete) {
        items.SetItemText(res::IDC_PART_LABEL, text::kMergingParts);
        items.ShowItem(res::IDC_PART_LABEL, true);
        items.ShowItem(res::IDC_PROGRESS_PART, true);
        state.m_progressPart.SetPos(0);
        if (!join.Finish(index, &state.m_progressPart)) {
            // The join never leaves a partial installer behind. A part it
            // found wrong is marked on disk too, so that a restart fetches
            // it again instead of failing on it once more.
            index.Save();
            return finish(kWorkerGaveUp);
        }
        if (!state.m_partDigests.empty()) {
            // The join checked it: the window need not read it again.
            RecordCheckedInstaller(state);
        }
    }
    state.m_progressOverall.SetPos(static_cast<int>(index.m_parts.size() + 1));
    items.ShowItem(res::IDC_PART_LABEL, false);
    items.ShowItem(res::IDC_PROGRESS_PART, false);
    items.EnableItem(res::IDC_INSTALL, true);
    if (lastByte != std::chrono::steady_clock::time_point{}) {
        state.m_nLastByteToInstallUs.store(std::chrono::duration_cast<std::chrono::microseconds>(
                                               std::chrono::steady_clock::now() - lastByte)
                                               .count());
    }
    return finish(kWorkerFinished);
}
