#include "engine/download_worker.h"

#include "catalogue/package_files.h"
#include "engine/download_state.h"
#include "engine/installer_check.h"
#include "engine/part_merge.h"
#include "framework/dialog_items.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"

namespace {

constexpr int kAttemptsPerPart = 3;

}  // namespace

int DownloadWorker(DownloadState& state) {
    // Every way out ends here: clearing the marker is the last thing the
    // worker does to the shared state.
    const auto finish = [&state](int result) {
        state.m_nWorkerResult.store(result);
        state.m_pWorker.store(nullptr, std::memory_order_release);
        return result;
    };
    PackageIndex& index = state.m_index;
    DialogItems& items = state.m_items;

    for (std::size_t i = 0; i < index.m_parts.size(); ++i) {
        if (state.m_bStop.load() != 0) {
            return finish(kWorkerFinished);
        }
        PackagePart& part = index.m_parts[i];
        if (part.m_done != 0) {
            state.m_progressOverall.SetPos(static_cast<int>(i + 1));
            continue;
        }
        items.ShowItem(res::IDC_PART_LABEL, true);
        items.SetItemText(res::IDC_PART_LABEL, part.m_name);
        items.ShowItem(res::IDC_PROGRESS_PART, true);
        const LocalFile local(state.m_versionFolder, part.m_name);
        const std::string remotePath = state.m_strServerFolder + "/" + part.m_name;
        // No part is longer than the part size, the last one included.
        FetchLimits limits = state.m_limits;
        limits.maxBytes = index.m_partSize;
        std::string error;
        for (int attempt = 1;; ++attempt) {
            state.m_progressPart.SetPos(0);
            if (state.m_bStop.load() != 0) {
                return finish(kWorkerFinished);
            }
            if (DownloadFile(state.m_strHost, kHttpPort, remotePath, local, 1, error,
                             state.GetProxy(), &state.m_progressPart, kProgressDivisor,
                             &state.m_bStop, limits)) {
                break;
            }
            if (state.m_bStop.load() == 0) {
                state.RetryPause();
            }
            if (attempt < kAttemptsPerPart) {
                continue;
            }
            if (!state.IsClosing()) {
                ShowMessageBox(error + text::kPleaseTryLater);
            }
            return finish(kWorkerGaveUp);
        }
        // The part is on disk (the fetch synced it) before it is recorded.
        part.m_done = 1;
        if (!index.SavePart(i)) {
            // Going on would leave finished parts unrecorded; the flag stays
            // set in memory and the next save records it.
            if (!state.IsClosing()) {
                ShowMessageBox(text::kFailedToWriteFile + index.m_path + text::kPleaseTryLater);
            }
            return finish(kWorkerGaveUp);
        }
        state.m_progressOverall.SetPos(static_cast<int>(i + 1));
    }

    if (!KeepInstallerIfComplete(state)) {
        items.SetItemText(res::IDC_PART_LABEL, text::kMergingParts);
        items.ShowItem(res::IDC_PART_LABEL, true);
        items.ShowItem(res::IDC_PROGRESS_PART, true);
        state.m_progressPart.SetPos(0);
        if (!MergeParts(index, state.m_versionFolder, kInstallerFileName, &state.m_progressPart,
                        &state.m_bClosing)) {
            // The join never leaves a partial installer behind. A part it
            // found wrong is marked on disk too, so that a restart fetches
            // it again instead of failing on it once more.
            index.Save();
            return finish(kWorkerGaveUp);
        }
    }
    state.m_progressOverall.SetPos(static_cast<int>(index.m_parts.size() + 1));
    items.ShowItem(res::IDC_PART_LABEL, false);
    items.ShowItem(res::IDC_PROGRESS_PART, false);
    items.EnableItem(res::IDC_INSTALL, true);
    return finish(kWorkerFinished);
}
