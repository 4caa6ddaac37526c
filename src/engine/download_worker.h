#pragma once

class DownloadState;

// The worker's results.
inline constexpr int kWorkerFinished = 0;  // the installer stands, or the run was stopped
inline constexpr int kWorkerGaveUp = 9;    // a part failed three times, or the join failed

// The worker: fetches every unfinished part (three attempts each), records
// each at once, joins the parts into the installer and enables the install
// button. Clears m_pWorker as its very last step.
int DownloadWorker(DownloadState& state);
