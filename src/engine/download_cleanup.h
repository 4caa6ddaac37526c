#pragma once

class DownloadState;

// Deletes the program's own files of the prepared version folder: the parts
// its resume state names (any file whose key is a part's), the resume state, the installer and the
// files written on the way to them, and the installer as it was handed over. Never a file of anyone
// else's, never through a link, never a subfolder. When the last preparation could not read the
// resume state, that file is put aside instead, under the first free set-aside name (never deleted,
// never overwritten). Returns 0, touching nothing, when no version folder
// has been prepared.
int DeleteDownloadFiles(const DownloadState& state);
