#include "framework/file_utils.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/platform_files.h"
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
    const std::int64_t size = (std::int64_t{5} << 30) + 3;  // sparse, takes no space
    ASSERT_TRUE(SetFileSize(path, size));
    EXPECT_EQ(QueryFileSize(path), size);
}

TEST(FileUtilsTest, DeleteAllFilesKeepsSubfoldersAndTheirContents) {
    for (const char* suffix : {"", "/"}) {
        TempDir dir;
        WriteFile(dir / "a", "1");
        WriteFile(dir / "b", "2");
        ASSERT_TRUE(MakeFolder(dir / "sub"));
        WriteFile(dir / "sub/inner", "3");
        ASSERT_EQ(DeleteAllFiles(dir.Path() + suffix), 1);
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"sub", "sub/inner"})) << suffix;
    }
}

TEST(FileUtilsTest, DeleteAllFilesRemovesLinksNotTheirTargets) {
    TempDir outside;
    TempDir dir;
    WriteFile(outside / "precious", "keep");
    if (!MakeSymbolicLink(outside / "precious", dir / "link")) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
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
#ifdef _WIN32
    const int notAFolder = 3;  // ERROR_PATH_NOT_FOUND
#else
    const int notAFolder = ENOTDIR;
#endif
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{SystemErrorText(notAFolder)});
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{"file"});
}

TEST(FileUtilsTest, SystemErrorTextIsTheSystemsWording) {
#ifdef _WIN32
    // The wording differs between Windows versions (and Wine); the line
    // breaks FormatMessage ends it with never reach a message box.
    for (const int error : {2, 5}) {  // ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED
        const std::string text = SystemErrorText(error);
        EXPECT_FALSE(text.empty()) << error;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    }
#else
    errno = ENOENT;
    EXPECT_EQ(SystemErrorText(), "No such file or directory");
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
#endif
}

}  // namespace
