#pragma once

class DownloadState;

// What the window shows of the package a preparation has just settled: the
// product version (1007) and the version folder (1006), the install button
// enabled when a complete installer stands (a short one is deleted), the
// overall bar over part count + 1 at the first unfinished part (or full),
// the part bar over the part size in kilobytes at 0, and the Part row
// hidden. Run on the user-interface thread, while no worker runs.
void ShowPreparedPackage(DownloadState& state);

// What it shows when no package is prepared for the one chosen: nothing of
// another package as if it were this one.
void ShowNoPackage(DownloadState& state);
