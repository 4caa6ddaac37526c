#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "catalogue/package_index.h"
#include "catalogue/package_layout.h"
#include "framework/message_box.h"
#include "framework/progress_ctrl.h"
#include "framework/texts.h"
#include "transfer/file_utils.h"

int PackageIndex::MergeParts(const std::string& folder, const std::string& outputName,
                             ProgressCtrl* progress, const std::atomic<int>* cancel) {
    const std::string output = folder + "/" + outputName;
    // Joined under another name and renamed once complete: an interrupted
    // join never leaves a file that passes for the installer.
    const std::string partial = output + kJoinTemporarySuffix;
    const int out =
        open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (out < 0) {
        ShowMessageBox(text::kCannotCreateOutputFile);
        return 0;
    }
    const auto fail = [&](const std::string& message) {
        close(out);
        unlink(partial.c_str());
        if (!message.empty()) {
            ShowMessageBox(message);
        }
        return 0;
    };

    EarlyWriteback writeback(out);
    std::int64_t joined = 0;
    const int count = static_cast<int>(m_parts.size());
    int step = 0;
    if (progress != nullptr && count > 0) {
        int lower = 0;
        int upper = 0;
        progress->GetRange(lower, upper);
        step = (upper - lower) / count;
    }
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + "/" + m_parts[i].m_name;
        const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (in < 0) {
            m_parts[i].m_done = 0;
            return fail(text::kCannotOpenInputFile + path + text::kPleaseClickDownloadAgain);
        }
        std::int64_t total = 0;
        const CopyResult copied = AppendFileContents(in, out, total);
        joined += total;
        writeback.Wrote(joined);
        close(in);
        if (copied == CopyResult::WriteFailed) {
            return fail(text::kFailedToWriteFile + output);
        }
        if (copied == CopyResult::ReadFailed) {
            m_parts[i].m_done = 0;
            return fail(text::kCannotOpenInputFile + path + text::kPleaseClickDownloadAgain);
        }
        // The last part may have any size; every other must be exact.
        if (total != m_partSize && i != count - 1) {
            unlink(path.c_str());
            m_parts[i].m_done = 0;
            return fail(text::kIncorrectSize + path + text::kPleaseClickDownloadAgain);
        }
        if (progress != nullptr) {
            progress->DeltaPos(step);
        }
        if (cancel != nullptr && cancel->load() != 0) {
            return fail("");
        }
    }
    if (fdatasync(out) != 0) {
        return fail(text::kFailedToWriteFile + output);
    }
    if (close(out) != 0) {
        unlink(partial.c_str());
        ShowMessageBox(text::kFailedToWriteFile + output);
        return 0;
    }
    if (rename(partial.c_str(), output.c_str()) != 0) {
        unlink(partial.c_str());
        ShowMessageBox(text::kCannotCreateOutputFile);
        return 0;
    }
    return 1;
}
