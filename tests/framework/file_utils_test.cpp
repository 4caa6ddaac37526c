#include "framework/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/temp_dir.h"

namespace {

TEST(FileUtilsTest, ExistsAndSize) {
    TempDir dir;
    EXPECT_TRUE(FileExists(dir.Path())) << "a folder exists";
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_EQ(QueryFileSize(dir / "missing"), -1);
    WriteFile(dir / "empty", "");
    EXPECT_EQ(QueryFileSize(dir / "empty"), 0);
    WriteFile(dir / "five", "12345");
    EXPECT_EQ(QueryFileSize(dir / "five"), 5);
}

TEST(FileUtilsTest, SizesBeyond2GiBAreExact) {
    TempDir dir;
    const std::string path = dir / "big";
    WriteFile(path, "");
    const off_t size = (off_t{5} << 30) + 3;  // sparse, takes no space
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    EXPECT_EQ(QueryFileSize(path), size);
}

TEST(FileUtilsTest, DeleteAllFilesKeepsSubfoldersAndTheirContents) {
    for (const char* suffix : {"", "/"}) {
        TempDir dir;
        WriteFile(dir / "a", "1");
        WriteFile(dir / "b", "2");
        ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
        WriteFile(dir / "sub/inner", "3");
        ASSERT_EQ(DeleteAllFiles(dir.Path() + suffix), 1);
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"sub", "sub/inner"})) << suffix;
    }
}

TEST(FileUtilsTest, DeleteAllFilesRemovesLinksNotTheirTargets) {
    TempDir outside;
    TempDir dir;
    WriteFile(outside / "precious", "keep");
    ASSERT_EQ(symlink((outside / "precious").c_str(), (dir / "link").c_str()), 0);
    DeleteAllFiles(dir.Path());
    EXPECT_TRUE(dir.Listing().empty());
    EXPECT_EQ(ReadFile(outside / "precious"), "keep");
}

TEST(FileUtilsTest, DeleteAllFilesRefusesAnEmptyPath) {
    errno = 0;
    EXPECT_EQ(DeleteAllFiles(""), 0);
    EXPECT_EQ(errno, EINVAL);
}

TEST(FileUtilsTest, MakeDirectoryTreeStopsAtTheLastSlash) {
    TempDir dir;
    MessageRecorder messages;
    MakeDirectoryTree(dir / "one/two/three/");
    EXPECT_TRUE(FileExists(dir / "one/two/three"));
    MakeDirectoryTree(dir / "x/y/z");
    EXPECT_TRUE(FileExists(dir / "x/y"));
    EXPECT_FALSE(FileExists(dir / "x/y/z"));
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(FileUtilsTest, MakeDirectoryTreeReportsOnceAndCreatesNothingBelow) {
    TempDir dir;
    WriteFile(dir / "file", "");
    MessageRecorder messages;
    MakeDirectoryTree(dir / "file/sub/deeper/");
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{SystemErrorText(ENOTDIR)});
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{"file"});
}

TEST(FileUtilsTest, SystemErrorTextIsTheSystemsWording) {
    errno = ENOENT;
    EXPECT_EQ(SystemErrorText(), "No such file or directory");
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
}

}  // namespace
