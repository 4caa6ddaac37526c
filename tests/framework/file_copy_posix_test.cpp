#include "framework/file_system.h"

#include "framework/native_file_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace {

// A test of the POSIX mapping: the in-kernel copy works between regular files only; a pipe on
// either side takes the read and write path, which must copy just as well. Both paths run here: on
// this local disk the appender reads and writes unless told to copy in the kernel.
TEST(FileCopyTest, AppendsTheRestOfTheFileWhateverTheKindOfEitherSide) {
    const std::string data = PatternBytes(50000, 31);  // fits a pipe's buffer
    for (const auto way : {InKernelCopy::WhereTheServerCopies, InKernelCopy::Always})
        for (const char* kind : {"file to file", "pipe to file", "file to pipe"}) {
            SCOPED_TRACE(std::string(kind) +
                         (way == InKernelCopy::Always ? ", in the kernel" : ", read and written"));
            TempDir dir;
            WriteFile(dir / "in", data);
            WriteFile(dir / "out", "head:");
            int pipeFds[2];
            ASSERT_EQ(pipe(pipeFds), 0);
            const bool fromPipe = std::string(kind) == "pipe to file";
            const bool toPipe = std::string(kind) == "file to pipe";
            int in = -1;
            if (fromPipe) {
                ASSERT_EQ(write(pipeFds[1], data.data(), data.size()),
                          static_cast<ssize_t>(data.size()));
                close(pipeFds[1]);
                in = pipeFds[0];
            } else {
                in = open((dir / "in").c_str(), O_RDONLY);
            }
            // Not O_APPEND: the in-kernel copy refuses such a file.
            const int out = toPipe ? pipeFds[1] : open((dir / "out").c_str(), O_WRONLY);
            if (!toPipe) {
                lseek(out, 0, SEEK_END);
            }
            ASSERT_GE(in, 0);
            ASSERT_GE(out, 0);
            std::int64_t total = 7;
            {
                // The appender sees descriptors as the program's handles; they
                // close here.
                const FileHandle from = NativeFile::Wrap(in);
                const FileHandle to = NativeFile::Wrap(out);
                EXPECT_TRUE(FileAppender(way).Append(from, to, total));
            }
            EXPECT_EQ(total, 7 + static_cast<std::int64_t>(data.size()));
            if (toPipe) {
                std::string piped(data.size() + 1, '\0');
                const ssize_t n = read(pipeFds[0], piped.data(), piped.size());
                close(pipeFds[0]);
                EXPECT_EQ(piped.substr(0, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), data);
            } else {
                EXPECT_EQ(ReadFile(dir / "out"), "head:" + data);
                if (!fromPipe) {
                    close(pipeFds[0]);
                    close(pipeFds[1]);
                }
            }
        }
}

}  // namespace
