#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/file_system.h"

// Replaces a file so that a crash, a full disk or a power loss leaves either
// the old file or the complete new one, never a mix: the new content goes to
// a temporary file beside it (created afresh, every write checked), which is
// synced, renamed over the old name, and the folder synced so that the rename
// itself is on disk. Anything but a regular file at either name (a link, a
// FIFO, a folder) is refused: IsOpen() is then false.
class DurableReplacement {
  public:
    // A file that is replaced keeps who may read and run it.
    DurableReplacement(const OwnFolder& folder, std::string name, const char* temporarySuffix);
    DurableReplacement(const std::string& path, const char* temporarySuffix);
    // Abandons an uncommitted replacement: the temporary file goes, the old
    // file stays.
    ~DurableReplacement();
    DurableReplacement(const DurableReplacement&) = delete;
    DurableReplacement& operator=(const DurableReplacement&) = delete;

    bool IsOpen() const { return m_file.IsOpen(); }
    // The temporary file, for writers that copy into it themselves.
    const FileHandle& File() const { return m_file; }
    // The temporary file opened once more, to read back what was written;
    // closed when it cannot be.
    FileHandle OpenForReading() const;

    bool Write(const std::string& data);
    // Lets whoever may read the new file run it.
    bool MakeExecutable();
    // Appends the rest of `in` to the new file and gives it `in`'s
    // permissions.
    bool CopyFrom(const FileHandle& in);
    // Puts the new file in place. On failure the old file is untouched:
    // FailedToWriteFile with the file's path and the system's code of the
    // first step that failed.
    Outcome Commit();
    void Abandon();

  private:
    void Begin();
    // Keeps the first failure's code: what later steps meet follows from it.
    bool Check(bool ok);

    OwnFolder m_folder;
    std::string m_name;
    std::string m_temporary;
    FileHandle m_file;
    bool m_ok = false;
    int m_error = 0;
};
