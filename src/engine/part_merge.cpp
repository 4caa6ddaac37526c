#include "engine/part_merge.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "framework/durable_file.h"
#include "framework/file_hash.h"
#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/own_files.h"
#include "framework/progress_ctrl.h"
#include "framework/shown_text.h"
#include "framework/texts.h"

namespace {

// Hashes the joined file while it is written, trailing behind the writer on
// a thread of its own. What was copied is read back from the joined file
// (its pages are fresh in memory); what was cloned shares the part's
// blocks, and is read from the part, whose pages are in memory, rather than
// from the disk.
class TrailingHash {
  public:
    // Reading stops once `cancel` is set: closing does not wait for it.
    TrailingHash(FileHandle joined, const std::atomic<int>* cancel)
        : m_joined(std::move(joined)), m_cancel(cancel), m_thread([this] { Run(); }) {}
    ~TrailingHash() { Finish(); }

    // `length` bytes more, read from `file` (taken over; a closed one for
    // the joined file itself) at `offset`.
    void Add(FileHandle file, std::int64_t offset, std::int64_t length) {
        {
            std::lock_guard lock(m_mutex);
            m_segments.push_back({std::move(file), offset, length});
        }
        m_added.notify_one();
    }
    // The hash of all that was added; false on a read error.
    bool Finish(Sha256Digest* digest = nullptr) {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_added.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (digest != nullptr) {
            *digest = m_hash.Digest();
        }
        return m_ok;
    }

  private:
    struct Segment {
        FileHandle file;
        std::int64_t offset;
        std::int64_t length;
    };

    void Run() {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            Segment segment;
            {
                std::unique_lock lock(m_mutex);
                m_added.wait(lock, [&] { return m_done || !m_segments.empty(); });
                if (m_segments.empty()) {
                    return;
                }
                segment = std::move(m_segments.front());
                m_segments.pop_front();
            }
            const FileHandle& file = segment.file.IsOpen() ? segment.file : m_joined;
            for (std::int64_t at = 0; m_ok && at < segment.length;) {
                if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed) != 0) {
                    m_ok = false;
                    break;
                }
                const std::size_t want = static_cast<std::size_t>(
                    std::min<std::int64_t>(segment.length - at, buffer.size()));
                std::size_t got = 0;
                m_ok = ReadAt(file, segment.offset + at, buffer.data(), want, got) && got > 0;
                if (m_ok) {
                    m_hash.Update(buffer.data(), got);
                    at += static_cast<std::int64_t>(got);
                }
            }
        }
    }

    FileHandle m_joined;
    const std::atomic<int>* m_cancel;
    Sha256 m_hash;
    bool m_ok = true;
    std::mutex m_mutex;
    std::condition_variable m_added;
    std::deque<Segment> m_segments;
    bool m_done = false;
    std::thread m_thread;
};

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

int MergeParts(PackageIndex& index, const OwnFolder& folder, const std::string& outputName,
               ProgressCtrl* progress, const std::atomic<int>* cancel, const JoinCheck* check) {
    const std::string output = ShownAsItStands(folder.PathOf(outputName));
    // Joined under another name and renamed once complete: an interrupted
    // join never leaves a file that passes for the installer.
    DurableReplacement joined(folder, outputName, kPartialSuffix);
    if (!joined.IsOpen()) {
        ShowMessageBox(text::kCannotCreateOutputFile);
        return 0;
    }
    const FileHandle& out = joined.File();
    const auto fail = [&](const std::string& message) {
        joined.Abandon();
        if (!message.empty()) {
            ShowMessageBox(message);
        }
        return 0;
    };
    std::vector<PackagePart>& parts = index.m_parts;
    std::unique_ptr<TrailingHash> hash;
    if (check != nullptr) {
        hash = std::make_unique<TrailingHash>(joined.OpenForReading(), cancel);
    }
    FileAppender appender;

    EarlyWriteback writeback(&out);
    std::int64_t written = 0;
    const int count = static_cast<int>(parts.size());
    int step = 0;
    if (progress != nullptr && count > 0) {
        int lower = 0;
        int upper = 0;
        progress->GetRange(lower, upper);
        step = (upper - lower) / count;
    }
    for (int i = 0; i < count; ++i) {
        const std::string path = ShownAsItStands(folder.PathOf(parts[i].m_name));
        FileHandle in = OpenOwnFileForReading(folder, parts[i].m_name);
        if (!in.IsOpen()) {
            parts[i].m_done = 0;
            return fail(text::kCannotOpenInputFile + path + text::kPleaseClickDownloadAgain);
        }
        std::int64_t total = 0;
        const CopyResult copied = appender.Append(in, out, total);
        written += total;
        writeback.Wrote(written);
        if (hash != nullptr) {
            // What was cloned is read from the part, which the hash takes.
            const bool cloned = appender.Cloned();
            hash->Add(cloned ? std::move(in) : FileHandle(), cloned ? 0 : written - total, total);
        }
        in.Close();
        if (copied == CopyResult::WriteFailed) {
            return fail(text::kFailedToWriteFile + output);
        }
        if (copied == CopyResult::ReadFailed) {
            parts[i].m_done = 0;
            return fail(text::kCannotOpenInputFile + path + text::kPleaseClickDownloadAgain);
        }
        // Every part but the last is exactly the part size; the last holds
        // at least a byte and at most a part.
        const bool last = i == count - 1;
        if (last ? total < 1 || total > index.m_partSize : total != index.m_partSize) {
            RemoveOwnFile(folder, parts[i].m_name);
            parts[i].m_done = 0;
            return fail(text::kIncorrectSize + path + text::kPleaseClickDownloadAgain);
        }
        if (progress != nullptr) {
            progress->DeltaPos(step);
        }
        if (cancel != nullptr && cancel->load() != 0) {
            return fail("");
        }
    }
    Sha256Digest digest{};
    if (hash != nullptr && (!hash->Finish(&digest) || digest != check->installer)) {
        std::vector<std::size_t> spoilt;
        if (check->parts != nullptr &&
            !FindSpoiltParts(index, folder, *check->parts, cancel, spoilt)) {
            return fail("");
        }
        if (spoilt.empty()) {
            return fail(text::kInstallerMismatchBefore + output + text::kInstallerMismatchAfter);
        }
        std::string paths;
        for (const std::size_t i : spoilt) {
            RemoveOwnFile(folder, parts[i].m_name);
            parts[i].m_done = 0;
            paths += (paths.empty() ? "" : ", ") + ShownAsItStands(folder.PathOf(parts[i].m_name));
        }
        return fail(text::kIncorrectData + paths + text::kPleaseClickDownloadAgain);
    }
    switch (joined.Commit()) {
        case DurableReplacement::Result::Committed:
            return 1;
        case DurableReplacement::Result::NotWritten:
            ShowMessageBox(text::kFailedToWriteFile + output);
            return 0;
        case DurableReplacement::Result::NotRenamed:
            // Something that is not ours stands at the installer's name.
            ShowMessageBox(text::kCannotCreateOutputFile);
            return 0;
    }
    return 0;
}
