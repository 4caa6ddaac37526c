#pragma once

class DownloadState;

// True when a complete installer stands in the version folder. An installer
// smaller than (part count - 1) x part size is what an interrupted join
// left; it is deleted, and the result is false.
bool KeepInstallerIfComplete(const DownloadState& state);
