#include "engine/part_merge.h"

#include <unistd.h>

#include <cstdint>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "framework/durable_file.h"
#include "framework/file_copy.h"
#include "framework/message_box.h"
#include "framework/progress_ctrl.h"
#include "framework/texts.h"

int MergeParts(PackageIndex& index, const OwnFolder& folder, const std::string& outputName,
               ProgressCtrl* progress, const std::atomic<int>* cancel) {
    const std::string output = folder.PathOf(outputName);
    // Joined under another name and renamed once complete: an interrupted
    // join never leaves a file that passes for the installer.
    DurableReplacement joined(folder, outputName, kPartialSuffix);
    if (!joined.IsOpen()) {
        ShowMessageBox(text::kCannotCreateOutputFile);
        return 0;
    }
    const int out = joined.Fd();
    const auto fail = [&](const std::string& message) {
        joined.Abandon();
        if (!message.empty()) {
            ShowMessageBox(message);
        }
        return 0;
    };
    std::vector<PackagePart>& parts = index.m_parts;

    EarlyWriteback writeback(out);
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
        const std::string path = folder.PathOf(parts[i].m_name);
        const int in = OpenOwnFileForReading(folder, parts[i].m_name);
        if (in < 0) {
            parts[i].m_done = 0;
            return fail(text::kCannotOpenInputFile + path + text::kPleaseClickDownloadAgain);
        }
        std::int64_t total = 0;
        const CopyResult copied = AppendFileContents(in, out, total);
        written += total;
        writeback.Wrote(written);
        close(in);
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
