#pragma once

class DownloadState;

// How far the check of an installer that stands in the version folder goes.
enum class InstallerCheck {
    // For the window: never reads the file. Where the maker's checksum is
    // known, the installer counts only when it is the very file whose
    // checksum was last found right (its recorded identity); otherwise it is
    // left for the worker to check.
    WithoutReading,
    // For the worker: an installer that is not the recorded one is hashed;
    // one that does not match its checksum goes, and is joined again.
    Reading,
};

// True when a complete installer stands in the version folder. An installer
// smaller than (part count - 1) x part size is what an interrupted join
// left; it is deleted, and the result is false.
bool KeepInstallerIfComplete(const DownloadState& state, InstallerCheck check);

// Records the identity (size, device, file number, modification time) of
// the installer that was just found to match `state.m_installerDigest`, so
// that the window can trust it later without reading it. False when it
// cannot be recorded; the installer is then checked again when needed.
bool RecordCheckedInstaller(const DownloadState& state);
