// Copying between files on Windows: read and written here a MiB at a time.
// No block cloning is offered (ReFS's is for whole clusters of files opened
// a certain way), and the system's own copy works between paths, not handles.

#include <string>

#include "framework/file_system.h"

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

}  // namespace

Outcome AppendFileContents(const FileHandle& in, const FileHandle& out, std::int64_t& total) {
    return FileAppender().Append(in, out, total);
}

Outcome FileAppender::Append(const FileHandle& in, const FileHandle& out, std::int64_t& total) {
    m_cloned = false;
    m_buffer.resize(kCopyChunk);
    for (;;) {
        std::size_t got = 0;
        if (!ReadSome(in, m_buffer.data(), m_buffer.size(), got)) {
            return Failure::WithSystemError(FailureKind::CannotOpenInputFile, LastSystemError());
        }
        if (got == 0) {
            return {};
        }
        if (!WriteAll(out, m_buffer.data(), got)) {
            return Failure::WithSystemError(FailureKind::FailedToWriteFile, LastSystemError());
        }
        total += static_cast<std::int64_t>(got);
    }
}

// Windows writes a file's data back by itself as it goes; a later
// FlushFileBuffers has little left to wait for.
void EarlyWriteback::Wrote(std::int64_t) {}
