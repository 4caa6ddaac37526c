#include "catalogue/package_index.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/text_mode.h"

// The index format. A text file of lines, each ended by a line feed, or CR LF
// as text mode writes them on Windows (a CR before a line feed is accepted
// everywhere):
//
//   1            format number; a file with a greater number is of a newer,
//                incompatible format; any smaller number is accepted
//   <version>    product version, used as the version folder's name
//   <count>      number of parts; 0 or less means none
//   <size>       bytes in every part but the last
//   <name>       then, per part, its file name ...
//   <flag>       ... and its done flag, "1" or "0" (any non-zero number reads as 1)
//
// A UTF-8 byte-order mark before the first line is skipped. Nothing after the
// last flag is read. Lines are read through a 1024-byte
// buffer, so a line longer than 1023 bytes is consumed in 1023-byte pieces,
// each piece counting as a line. Trailing white space is cut, leading white
// space stays. Number lines take an optional sign and decimal digits after
// optional white space; what follows the digits is ignored.

namespace {

constexpr int kFormatNumber = 1;
constexpr int kLineBufferSize = 1024;

bool IsTrailingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%d" without its undefined behaviour on overflow: a number that does not
// fit an int does not parse.
bool ParseDecimal(const std::string& line, int& value) {
    std::size_t i = 0;
    while (i < line.size() && IsTrailingSpace(line[i])) {
        ++i;
    }
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    long long magnitude = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (line[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    if (i == firstDigit) {
        return false;
    }
    const long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX) {
        return false;
    }
    value = static_cast<int>(result);
    return true;
}

}  // namespace

int IndexLineReader::Next() {
    if (m_at == m_size) {
        std::size_t got = 0;
        if (!ReadSome(m_file, m_buffer, sizeof m_buffer, got) || got == 0) {
            return -1;
        }
        m_at = 0;
        m_size = got;
    }
    return static_cast<unsigned char>(m_buffer[m_at++]);
}

void IndexLineReader::SkipByteOrderMark() {
    constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    std::size_t matched = 0;
    while (matched < sizeof kMark && Next() == kMark[matched]) {
        ++matched;
    }
    if (matched < sizeof kMark) {
        // Not a mark: read from the start again (all of it is in the buffer,
        // which the first read filled).
        m_at = 0;
    }
}

int IndexLineReader::ReadIndexLine(std::string& line) {
    char buffer[kLineBufferSize];
    std::size_t length = 0;
    int c = 0;
    while (length + 1 < sizeof buffer && (c = Next()) >= 0) {
        if (c == '\r' && m_at < m_size && m_buffer[m_at] == '\n') {
            // Read as text mode reads it: a CR LF is one line feed.
            c = Next();
        }
        buffer[length++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    if (length == 0) {
        return 0;
    }
    // What fgets gives stops at a NUL, as a C string does.
    if (const void* nul = std::memchr(buffer, '\0', length)) {
        length = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
    }
    while (length > 0 && IsTrailingSpace(buffer[length - 1])) {
        --length;
    }
    line.assign(buffer, length);
    return 1;
}

int IndexLineReader::ReadIndexInt(int& value) {
    std::string line;
    if (!ReadIndexLine(line)) {
        return 0;
    }
    return ParseDecimal(line, value) ? 1 : 0;
}

int IndexLineReader::ReadIndexFlag(int& flag) {
    int value = 0;
    if (!ReadIndexInt(value)) {
        return 0;
    }
    flag = value != 0 ? 1 : 0;
    return 1;
}

int PackageIndex::Load(const std::string& path, IndexLoadError& error) {
    std::string name;
    const OwnFolder folder = OwnFolder::OpenParentOf(path, name);
    if (!Load(folder, name, error)) {
        return 0;
    }
    m_path = path;
    return 1;
}

int PackageIndex::Load(const OwnFolder& folder, const std::string& name, IndexLoadError& error) {
    const Outcome read = Read(folder, name);
    if (read) {
        return 1;
    }
    switch (read.Error().kind) {
        case FailureKind::Incompatible:
            error = Incompatible;
            break;
        case FailureKind::IndexMalformed:
            error = Malformed;
            break;
        default:
            error = CannotOpen;
            break;
    }
    return 0;
}

Outcome PackageIndex::Read(const OwnFolder& folder, const std::string& name) {
    Clear();
    const FileHandle file = OpenOwnFileForReading(folder, name);
    if (!file.IsOpen()) {
        return Failure(FailureKind::IndexUnreadable);
    }
    const auto fail = [&](FailureKind kind) {
        return kind == FailureKind::IndexMalformed ? Failure::WithPath(kind, folder.PathOf(name))
                                                   : Failure(kind);
    };
    // Large enough a buffer to stay off the stack.
    const auto reader = std::make_unique<IndexLineReader>(file);
    // An index saved by an editor that marks UTF-8 with a byte-order mark
    // reads like one without.
    reader->SkipByteOrderMark();
    int format = 0;
    if (!reader->ReadIndexInt(format)) {
        return fail(FailureKind::IndexMalformed);
    }
    if (format > kFormatNumber) {
        return fail(FailureKind::Incompatible);
    }
    int count = 0;
    if (!reader->ReadIndexLine(m_productVersion) || !reader->ReadIndexInt(count) ||
        !reader->ReadIndexInt(m_partSize) || count > kMaxParts) {
        return fail(FailureKind::IndexMalformed);
    }
    for (int i = 0; i < count; ++i) {
        PackagePart part;
        if (!reader->ReadIndexLine(part.m_name) || !reader->ReadIndexFlag(part.m_done)) {
            return fail(FailureKind::IndexMalformed);
        }
        m_parts.push_back(std::move(part));
    }
    m_folder = folder;
    m_name = name;
    m_path = folder.PathOf(name);
    return {};
}

struct PackageIndex::SavedFile {
    SavedFile(FileHandle handle, const FileIdentity& saved, std::vector<std::uint32_t> offsets)
        : file(std::move(handle)), identity(saved), flagOffsets(std::move(offsets)) {}

    FileHandle file;
    FileIdentity identity;
    // The byte of each part's done flag.
    std::vector<std::uint32_t> flagOffsets;
};

int PackageIndex::Save() {
    m_saved.reset();
    if (m_path.empty()) {
        return 0;
    }
    // Lines end as text mode ends them (CR LF on Windows); each flag's
    // offset counts the line ends before it.
    std::string content = std::to_string(kFormatNumber) + kLineEnd + m_productVersion + kLineEnd +
                          std::to_string(m_parts.size()) + kLineEnd + std::to_string(m_partSize) +
                          kLineEnd;
    std::vector<std::uint32_t> flagOffsets;
    flagOffsets.reserve(m_parts.size());
    for (const PackagePart& part : m_parts) {
        content += part.m_name;
        content += kLineEnd;
        flagOffsets.push_back(static_cast<std::uint32_t>(content.size()));
        content += part.m_done != 0 ? '1' : '0';
        content += kLineEnd;
    }

    // Written beside the old file and renamed over it once it is on disk: a
    // crash or a full disk mid-write leaves the previous record intact.
    DurableReplacement file(m_folder, m_name, kSaveTemporarySuffix);
    if (!file.Write(content) || !file.Commit()) {
        return 0;
    }
    // Kept open for the flags recorded in place later, as long as it is the
    // file just written.
    FileHandle saved = OpenOwnFileForChanging(m_folder, m_name);
    EntryInfo info;
    if (saved.IsOpen() && StatFile(saved, info) &&
        info.size == static_cast<std::int64_t>(content.size()) && content.size() <= UINT32_MAX) {
        m_saved =
            std::make_shared<SavedFile>(std::move(saved), info.identity, std::move(flagOffsets));
    }
    return 1;
}

int PackageIndex::SavePart(std::size_t i) {
    // In place only into the very file the last save wrote, and only while
    // nobody else has a name for it: a hard link made since would carry the
    // write elsewhere.
    EntryInfo now;
    if (m_saved == nullptr || i >= m_parts.size() ||
        m_saved->flagOffsets.size() != m_parts.size() || !StatOwnEntry(m_folder, m_name, now) ||
        now.identity.device != m_saved->identity.device ||
        now.identity.file != m_saved->identity.file || now.links != 1) {
        return Save();
    }
    const char flag = m_parts[i].m_done != 0 ? '1' : '0';
    if (!WriteAt(m_saved->file, m_saved->flagOffsets[i], &flag, 1) || !SyncData(m_saved->file)) {
        return Save();
    }
    return 1;
}

int PackageIndex::SaveAs(const std::string& path) {
    m_folder = OwnFolder::OpenParentOf(path, m_name);
    m_path = path;
    return Save();
}

int PackageIndex::SaveAs(const OwnFolder& folder, const std::string& name) {
    m_folder = folder;
    m_name = name;
    m_path = folder.PathOf(name);
    return Save();
}

void PackageIndex::Clear() {
    m_parts.clear();
    m_parts.shrink_to_fit();
    m_productVersion.clear();
    m_path.clear();
    m_folder = {};
    m_name.clear();
    m_saved.reset();
}

int PackageIndex::FirstUnfinishedPart() const {
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        if (m_parts[i].m_done == 0) {
            return static_cast<int>(i);
        }
    }
    return static_cast<int>(m_parts.size());
}
