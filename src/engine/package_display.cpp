#include "engine/package_display.h"

#include "engine/download_state.h"
#include "engine/installer_check.h"
#include "framework/dialog_items.h"
#include "framework/resource_ids.h"
#include "framework/shown_text.h"

namespace {

void HidePartRow(DialogItems& items) {
    items.ShowItem(res::IDC_PART_LABEL, false);
    items.ShowItem(res::IDC_PROGRESS_PART, false);
}

}  // namespace

void ShowPreparedPackage(DownloadState& state) {
    DialogItems& items = state.m_items;
    items.SetItemText(res::IDC_VERSION, ShownAsItStands(state.m_strVersion));
    items.SetItemText(res::IDC_VERSION_FOLDER, ShownAsItStands(state.m_strVersionFolder));
    const bool ready = KeepInstallerIfComplete(state, InstallerCheck::WithoutReading);
    items.EnableItem(res::IDC_INSTALL, ready);
    const int count = static_cast<int>(state.m_index.m_parts.size());
    state.m_progressOverall.SetRange(0, count + 1);
    state.m_progressOverall.SetStep(1);
    state.m_progressOverall.SetPos(ready ? count + 1 : state.m_index.FirstUnfinishedPart());
    state.m_progressPart.SetRange(0, state.m_index.m_partSize / kProgressDivisor);
    state.m_progressPart.SetPos(0);
    HidePartRow(items);
}

void ShowNoPackage(DownloadState& state) {
    DialogItems& items = state.m_items;
    items.SetItemText(res::IDC_VERSION, "");
    items.SetItemText(res::IDC_VERSION_FOLDER, "");
    items.EnableItem(res::IDC_INSTALL, false);
    state.m_progressOverall.SetPos(0);
    state.m_progressPart.SetPos(0);
    HidePartRow(items);
}
