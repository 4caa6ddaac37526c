#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "framework/own_files.h"

// Writes every byte or fails; retries after signals and short writes.
bool WriteAll(int fd, const void* data, std::size_t length);
bool WriteAll(int fd, const std::string& data);

// Reads what is there, up to `size` bytes, retrying after signals; `got` is
// 0 at the end of the file. False on a read error.
bool ReadSome(int fd, void* data, std::size_t size, std::size_t& got);

// Moves the program's own regular file `name` from one folder held open to
// another, replacing a regular file of that name there; false for anything
// but a regular file at either end.
bool MoveOwnFile(const OwnFolder& from, const OwnFolder& to, const std::string& name);

// Puts the data of the program's own regular file `name` on disk, for a
// file that an earlier attempt wrote without; false when it cannot be.
bool SyncOwnFile(const OwnFolder& folder, const std::string& name);

// Replaces a file so that a crash, a full disk or a power loss leaves either
// the old file or the complete new one, never a mix: the new content goes to
// a temporary file beside it (created afresh, every write checked), which is
// synced, renamed over the old name, and the folder synced so that the rename
// itself is on disk. Anything but a regular file at either name (a link, a
// FIFO, a folder) is refused: IsOpen() is then false.
class DurableReplacement {
  public:
    // `mode` applies to a file that did not exist (less the umask); a file
    // that is replaced keeps its permissions.
    DurableReplacement(const OwnFolder& folder, std::string name, const char* temporarySuffix,
                       mode_t mode = 0666);
    DurableReplacement(const std::string& path, const char* temporarySuffix, mode_t mode = 0666);
    // Abandons an uncommitted replacement: the temporary file goes, the old
    // file stays.
    ~DurableReplacement();
    DurableReplacement(const DurableReplacement&) = delete;
    DurableReplacement& operator=(const DurableReplacement&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // The temporary file, for writers that copy into it themselves.
    int Fd() const { return m_fd; }
    // The temporary file opened once more, to read back what was written;
    // -1 when it cannot be.
    int OpenForReading() const;

    bool Write(const std::string& data);
    // Gives the new file these permissions instead.
    bool SetMode(mode_t mode);
    enum class Result { Committed, NotWritten, NotRenamed };
    // Puts the new file in place. On failure the old file is untouched and
    // the result says whether the data or the rename failed.
    Result Commit();
    void Abandon();

  private:
    void Begin(mode_t mode);

    OwnFolder m_folder;
    std::string m_name;
    std::string m_temporary;
    int m_fd = -1;
    bool m_ok = false;
};
