#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/failure.h"
#include "framework/file_system.h"

// Why PackageIndex::Load failed.
enum IndexLoadError : int {
    CannotOpen = 0,    // the file cannot be opened for reading
    Incompatible = 1,  // the format number is greater than 1
    Malformed = 2,     // a line is missing, or a number line holds no number
};

// One entry of the part list.
struct PackagePart {
    std::string m_name;  // file name below the server folder and in the version folder
    int m_done = 0;      // 1 once the part file has been fetched completely

    std::string GetName() const { return m_name; }
};

// A package index, "pkgindex.txt": the server's description of a package and,
// kept in the version folder, the resume state of its download (the done
// flags record the finished parts).
class PackageIndex {
  public:
    PackageIndex() = default;
    PackageIndex(const PackageIndex&) = delete;
    PackageIndex& operator=(const PackageIndex&) = delete;
    PackageIndex(PackageIndex&&) = default;
    PackageIndex& operator=(PackageIndex&&) = default;

    // Returns 1, or 0 with the reason in `error`. Starts with Clear(); on a
    // malformed file the object keeps what was read before the bad line. A
    // link or anything but a regular file at the path cannot be opened.
    int Load(const std::string& path, IndexLoadError& error);
    // The same for a file in a folder held open; later saves go there too.
    int Load(const OwnFolder& folder, const std::string& name, IndexLoadError& error);
    // Load's work, its failure by kind: IndexUnreadable (it cannot be
    // opened), Incompatible or IndexMalformed (with the file's path).
    Outcome Read(const OwnFolder& folder, const std::string& name);
    // Rewrites the file at m_path; 1 on success. The previous file is replaced
    // only once the new one is complete on disk.
    int Save();
    // Records part `i`'s done flag on disk, with the same result as Save()
    // but, once Save() has written the file, at a cost that does not grow
    // with the number of parts: the flag's one byte is rewritten in place
    // (a one-byte write cannot tear) and synced. Only for a change of done
    // flags since the last save.
    int SavePart(std::size_t i);
    // Sets m_path (even when saving then fails) and saves.
    int SaveAs(const std::string& path);
    int SaveAs(const OwnFolder& folder, const std::string& name);
    // Empties everything but m_partSize.
    void Clear();
    // Position of the first part not done, or the part count.
    int FirstUnfinishedPart() const;
    std::string GetProductVersion() const { return m_productVersion; }

    std::string m_productVersion;
    std::vector<PackagePart> m_parts;
    std::int32_t m_partSize = -1;
    std::string m_path;

  private:
    struct SavedFile;

    // Where m_path lies: its folder, held open, and the name in it.
    OwnFolder m_folder;
    std::string m_name;
    // The file the last Save() wrote, and where its flags stand; null when
    // this object did not write what is there.
    std::shared_ptr<SavedFile> m_saved;
};

// The most parts an index may have; a larger count is malformed.
inline constexpr int kMaxParts = 1000000;

// Reads a file of the index format line by line, as the C library's fgets
// does through a buffer of 1024 bytes: a longer line comes in pieces of
// 1023 bytes, and a line ends at its first NUL byte.
class IndexLineReader {
  public:
    explicit IndexLineReader(const FileHandle& file) : m_file(file) {}
    // Skips a UTF-8 byte-order mark at the very start, if there is one.
    void SkipByteOrderMark();
    int ReadIndexLine(std::string& line);
    int ReadIndexInt(int& value);
    int ReadIndexFlag(int& flag);

  private:
    // The next byte, or -1 at the end (or on a read error).
    int Next();

    const FileHandle& m_file;
    char m_buffer[64 * 1024];
    std::size_t m_at = 0;
    std::size_t m_size = 0;
};
