#pragma once

// What the benchmark reads about its own process and the disk, as each
// system tells it.

#include <string>

// The peak resident memory since the last reset, in KiB; -1 where unknown.
long ReadPeakRssKb();
// Starts a new peak measurement from the current resident size, where the
// system allows it (Windows keeps one peak for the process's life).
void ResetPeakRss();

// Chooses the device that holds `folder`, for ReadWrittenBytes.
void ChooseDevice(const std::string& folder);
// Bytes written so far to that device as the device counts them; -1 where
// unknown.
long long ReadWrittenBytes();

// Puts whatever is unwritten on disk, so that it does not land in a timing.
void SyncDisks();
