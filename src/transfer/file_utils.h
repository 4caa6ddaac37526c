#pragma once

#include <cstdint>
#include <string>

// Small file-system helpers shared by the whole program. Paths are plain byte
// strings with "/" as separator. None of them treats a missing file as an
// error; MakeDirectoryTree is the only one that speaks to the user.

// True when a file or a folder of that name exists.
bool FileExists(const std::string& path);

// Size in bytes, or -1 when nothing of that name exists. A folder counts as 0.
std::int64_t QueryFileSize(const std::string& path);

// Deletes the files directly inside the folder, ignoring every failure to
// delete; subfolders and the folder itself stay. Returns 0, with errno set to
// EINVAL and nothing touched, for an empty folder path; 1 otherwise.
int DeleteAllFiles(const std::string& folder);

// The system's text for errno (or for the code given), empty when it has none.
std::string SystemErrorText();
std::string SystemErrorText(int code);

// Creates every missing folder along the path up to its last "/": pass a
// folder with a trailing "/" to create the folder itself, or the path of a
// file to create the folders that will hold it. On the first folder that
// cannot be created it shows the system's error text and stops.
void MakeDirectoryTree(const std::string& path);

enum class CopyResult { Done, ReadFailed, WriteFailed };

// Appends the rest of file `in` to file `out` and adds the bytes to `total`.
// The kernel copies between the files where it can, so the data does not pass
// through this process.
CopyResult AppendFileContents(int in, int out, std::int64_t& total);

// Starts writing a file's data out to disk in the background, so that a
// later fdatasync has little left to wait for. Writing out as the data
// arrives overlaps the disk with the network instead of adding it at the end.
class EarlyWriteback {
  public:
    explicit EarlyWriteback(int fd) : m_fd(fd) {}
    // Call with the file's size after each write.
    void Wrote(std::int64_t size);

  private:
    int m_fd;
    std::int64_t m_started = 0;
};
