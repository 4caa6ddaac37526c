#pragma once

class DownloadState;

// Settles where the download comes from (host, server folder), where it goes
// (the version folder) and what is left to do (the resume state, created from
// the server's index when there is none). Shows its own message and returns
// 0 on failure; 1 with m_strVersion and m_strVersionFolder set on success.
int PrepareDownload(DownloadState& state);
