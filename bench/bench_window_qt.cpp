// The timed download through the real main window (Qt).

#include <QApplication>

#include "download_timing.h"
#include "framework/resource_ids.h"
#include "process_figures.h"
#include "ui/main_dialog.h"
#include "widgets/ui_thread.h"

int RunWindow(int argc, char** argv, const std::string& folder, const std::string& proxy) {
    QApplication application(argc, argv);
    ChooseDevice(folder);
    Phases phases;
    MainDialog dialog;
    DownloadState& state = dialog.m_download;
    state.m_strProgramPath = folder + kPathSeparator + "VELMORA_QUINDLE_7";
    state.SetProxy(proxy);
    int result = 2;
    RepeatingTimer poll([&] {
        // The worker names the join in control 1002, on this thread.
        phases.OnText(res::IDC_PART_LABEL, dialog.GetDlgItemText(res::IDC_PART_LABEL));
        if (!state.IsDownloading()) {
            poll.Stop();
            if (!phases.joinStarted) {
                phases.joinStart = Clock::now();
            }
            result = state.m_nWorkerResult.load();
            Report("window", phases, Clock::now(), state, result);
            dialog.EndDialog(res::IDOK);
        }
    });
    RunLater(1, [&] {
        if (state.m_bNeedPrepare != 0) {
            dialog.EndDialog(res::IDCANCEL);
            return;
        }
        ResetPeakRss();
        phases.writtenAtStart = ReadWrittenBytes();
        phases.start = Clock::now();
        // Pressed as a user presses it.
        dialog.ClickItem(res::IDC_DOWNLOAD);
        poll.Start(1);
    });
    dialog.DoModal();
    return result;
}
