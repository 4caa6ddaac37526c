#include "catalogue/package_index.h"

#include <gtest/gtest.h>
#include <filesystem>

#include "support/platform_files.h"
#include "support/temp_dir.h"

namespace {

// Not a reason Load gives: tells whether it wrote one.
constexpr IndexLoadError kUnset = static_cast<IndexLoadError>(-1);

class PackageIndexTest : public testing::Test {
  protected:
    // Loads `content` and returns Load's result; the reason lands in m_error.
    int LoadText(const std::string& content) {
        WriteFile(m_file, content);
        m_error = kUnset;
        return m_index.Load(m_file, m_error);
    }

    TempDir m_dir;
    std::string m_file = m_dir / "pkgindex.txt";
    PackageIndex m_index;
    IndexLoadError m_error = kUnset;
};

TEST_F(PackageIndexTest, ReadsAWholeIndex) {
    ASSERT_EQ(LoadText("1\n7.2.1\n3\n1048576\nvelmora.001\n1\nvelmora.002\n0\nvelmora.003\n0\n"),
              1);
    EXPECT_EQ(m_error, kUnset) << "success leaves the reason untouched";
    EXPECT_EQ(m_index.GetProductVersion(), "7.2.1");
    EXPECT_EQ(m_index.m_partSize, 1048576);
    ASSERT_EQ(m_index.m_parts.size(), 3u);
    EXPECT_EQ(m_index.m_parts[1].GetName(), "velmora.002");
    EXPECT_EQ(m_index.m_parts[0].m_done, 1);
    EXPECT_EQ(m_index.m_parts[2].m_done, 0);
    EXPECT_EQ(m_index.m_path, m_file);
}

TEST_F(PackageIndexTest, FormatNumbers) {
    m_index.m_partSize = 77;
    EXPECT_EQ(LoadText("2\nv\n0\n10\n"), 0);
    EXPECT_EQ(m_error, Incompatible);
    EXPECT_EQ(m_index.GetProductVersion(), "");
    EXPECT_TRUE(m_index.m_parts.empty());
    EXPECT_EQ(m_index.m_path, "");
    EXPECT_EQ(m_index.m_partSize, 77) << "the part size survives the clearing";

    EXPECT_EQ(LoadText("99\n"), 0);
    EXPECT_EQ(m_error, Incompatible);
    EXPECT_EQ(LoadText("0\nv\n0\n10\n"), 1);
    EXPECT_EQ(LoadText("-5\nv\n0\n10\n"), 1);
}

TEST_F(PackageIndexTest, MissingFileCannotOpen) {
    m_index.m_productVersion = "old";
    m_error = kUnset;
    EXPECT_EQ(m_index.Load(m_dir / "absent.txt", m_error), 0);
    EXPECT_EQ(m_error, CannotOpen);
    EXPECT_EQ(m_index.GetProductVersion(), "") << "Load clears before it opens";
}

TEST_F(PackageIndexTest, EarlyEndKeepsWhatWasRead) {
    m_index.m_partSize = 5;
    EXPECT_EQ(LoadText("1\nv9\n4\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(m_index.GetProductVersion(), "v9");
    EXPECT_TRUE(m_index.m_parts.empty());
    EXPECT_EQ(m_index.m_partSize, 5);
    EXPECT_EQ(m_index.m_path, "") << "a following Save must fail";
    EXPECT_EQ(m_index.Save(), 0);

    EXPECT_EQ(LoadText("1\nv\n3\n100\na\n1\nb\n0\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    ASSERT_EQ(m_index.m_parts.size(), 2u) << "complete pairs stay";
    EXPECT_EQ(m_index.m_parts[1].m_name, "b");
    EXPECT_EQ(m_index.m_partSize, 100);

    EXPECT_EQ(LoadText(""), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(LoadText("1\n"), 0);
    EXPECT_EQ(m_error, Malformed);
}

TEST_F(PackageIndexTest, CountsOfZeroOrLessGiveNoParts) {
    for (const char* count : {"0", "-3"}) {
        ASSERT_EQ(LoadText(std::string("1\nv\n") + count + "\n4096\n"), 1) << count;
        EXPECT_TRUE(m_index.m_parts.empty());
        EXPECT_EQ(m_index.FirstUnfinishedPart(), 0);
    }
}

TEST_F(PackageIndexTest, NumberAndFlagLines) {
    ASSERT_EQ(LoadText("1\nv\n 42 parts\n  -7x\na\n7\nb\n0\n"), 0) << "count 42, two parts only";
    EXPECT_EQ(m_index.m_partSize, -7);

    ASSERT_EQ(LoadText("1\nv\n1\n10\na\n7\n"), 1);
    EXPECT_EQ(m_index.m_parts[0].m_done, 1) << "any non-zero flag is done";

    EXPECT_EQ(LoadText("1\nv\n1\n10\na\nyes\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(LoadText("1\nv\n1\n10\na\n\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(LoadText("1\nv\nmany\n10\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(LoadText("one\n"), 0);
    EXPECT_EQ(m_error, Malformed) << "an unreadable format number is malformed";
}

TEST_F(PackageIndexTest, NumbersOutsideTheIntRangeAreMalformed) {
    EXPECT_EQ(LoadText("1\nv\n1\n2147483648\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    EXPECT_EQ(LoadText("1\nv\n36893488147419103232\n1\n"), 0);
    EXPECT_EQ(m_error, Malformed);
    ASSERT_EQ(LoadText("1\nv\n0\n-2147483648\n"), 1);
    EXPECT_EQ(m_index.m_partSize, -2147483647 - 1);
}

TEST_F(PackageIndexTest, TrailingWhiteSpaceIsCutLeadingKept) {
    ASSERT_EQ(LoadText("1\r\n 7.0 \t\r\n1\r\n10\r\n  part one \r\n1\r\n"), 1);
    EXPECT_EQ(m_index.GetProductVersion(), " 7.0");
    EXPECT_EQ(m_index.m_parts[0].m_name, "  part one");
    // Bytes of 128 and above are not white space.
    ASSERT_EQ(LoadText("1\nv\xC2\xA0\n0\n10\n"), 1);
    EXPECT_EQ(m_index.GetProductVersion(), "v\xC2\xA0");
}

TEST_F(PackageIndexTest, LongLinesAreReadInPiecesOf1023Bytes) {
    const std::string longName(1023 + 5, 'n');
    // The name line splits into a 1023-byte name and a 5-byte "flag" line.
    EXPECT_EQ(LoadText("1\nv\n1\n10\n" + longName + "\n1\n"), 0);
    EXPECT_EQ(m_error, Malformed);

    const std::string exact(1023, 'x');
    ASSERT_EQ(LoadText("1\nv\n1\n10\n" + exact + "0\n7\n"), 1)
        << "1023 bytes, then \"0\" as the flag line";
    ASSERT_EQ(m_index.m_parts.size(), 1u);
    EXPECT_EQ(m_index.m_parts[0].m_name, exact);
    EXPECT_EQ(m_index.m_parts[0].m_done, 0);
}

TEST_F(PackageIndexTest, LinesAfterTheLastFlagAreIgnoredAndNotSavedAgain) {
    ASSERT_EQ(LoadText("1\nv\n1\n10\na\n0\nextra\nlines\n"), 1);
    ASSERT_EQ(m_index.Save(), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\nv\n1\n10\na\n0\n"));
}

TEST_F(PackageIndexTest, SaveAndLoadRoundTrip) {
    m_index.m_productVersion = "7.3";
    m_index.m_partSize = 8388608;
    m_index.m_parts = {{"p1", 1}, {"p2", 0}, {"p3", 1}};
    ASSERT_EQ(m_index.SaveAs(m_file), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\n7.3\n3\n8388608\np1\n1\np2\n0\np3\n1\n"));

    ASSERT_EQ(LoadText("0\nw\n2\n-1\nq\n5\nr\n0\n"), 1);
    ASSERT_EQ(m_index.Save(), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\nw\n2\n-1\nq\n1\nr\n0\n"))
        << "format 1, flags as 1 and 0";

    PackageIndex again;
    IndexLoadError error = CannotOpen;
    ASSERT_EQ(again.Load(m_file, error), 1);
    EXPECT_EQ(again.GetProductVersion(), "w");
    EXPECT_EQ(again.m_partSize, -1);
    ASSERT_EQ(again.m_parts.size(), 2u);
    EXPECT_EQ(again.m_parts[0].m_done, 1);
}

TEST_F(PackageIndexTest, SaveAsToAMissingFolderFailsButKeepsThePath) {
    const std::string path = m_dir / "no/such/folder/pkgindex.txt";
    EXPECT_EQ(m_index.SaveAs(path), 0);
    EXPECT_EQ(m_index.m_path, path);
    EXPECT_EQ(PackageIndex().Save(), 0) << "nothing to save to";
}

TEST_F(PackageIndexTest, FailedSaveLeavesThePreviousFileIntact) {
    ASSERT_EQ(LoadText("1\nv\n1\n10\na\n0\n"), 1);
    std::filesystem::permissions(m_file, std::filesystem::perms(0640));
    m_index.m_parts[0].m_done = 1;
    // The temporary file cannot be created where a folder of its name stands.
    ASSERT_TRUE(MakeFolder(m_file + ".tmp"));
    EXPECT_EQ(m_index.Save(), 0);
    EXPECT_EQ(ReadFile(m_file), "1\nv\n1\n10\na\n0\n");
    std::filesystem::remove(m_file + ".tmp");

    ASSERT_EQ(m_index.Save(), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\nv\n1\n10\na\n1\n"));
    if (HasPosixModes()) {
        EXPECT_EQ(std::filesystem::status(m_file).permissions(), std::filesystem::perms(0640))
            << "the old file's permissions are kept";
    }
    EXPECT_EQ(m_dir.Listing(), std::vector<std::string>{"pkgindex.txt"}) << "no temporary left";
}

std::uint64_t Inode(const std::string& path) {
    std::string name;
    EntryInfo info;
    return StatOwnEntry(OwnFolder::OpenParentOf(path, name), name, info) ? info.identity.file : 0;
}

TEST_F(PackageIndexTest, APartsFlagIsRecordedInPlaceOnlyInTheFileTheLastSaveWrote) {
    m_index.m_productVersion = "7.3";
    m_index.m_partSize = 10;
    m_index.m_parts = {{"p1", 0}, {"p2", 0}, {"p3", 0}};
    ASSERT_EQ(m_index.SaveAs(m_file), 1);
    const std::uint64_t written = Inode(m_file);

    // In place: the same file, its one byte changed.
    m_index.m_parts[1].m_done = 1;
    ASSERT_EQ(m_index.SavePart(1), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\n7.3\n3\n10\np1\n0\np2\n1\np3\n0\n"));
    EXPECT_EQ(Inode(m_file), written);

    // A hard link made since would carry an in-place write elsewhere.
    ASSERT_TRUE(MakeHardLink(m_file, m_dir / "linked"));
    m_index.m_parts[0].m_done = 1;
    ASSERT_EQ(m_index.SavePart(0), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\n7.3\n3\n10\np1\n1\np2\n1\np3\n0\n"));
    EXPECT_EQ(ReadFile(m_dir / "linked"), TextAsStored("1\n7.3\n3\n10\np1\n0\np2\n1\np3\n0\n"));
    EXPECT_NE(Inode(m_file), written) << "written afresh instead";

    // A file that another has replaced, or one only loaded, is saved whole.
    WriteFile(m_dir / "other", "1\n7.3\n3\n10\np1\n0\np2\n0\np3\n0\n");
    const std::uint64_t others = Inode(m_dir / "other");
    std::error_code renamed;
    std::filesystem::rename(m_dir / "other", m_file, renamed);
    if (renamed) {
        GTEST_SKIP() << "Windows does not replace a file that is open: " << renamed.message();
    }
    m_index.m_parts[2].m_done = 1;
    ASSERT_EQ(m_index.SavePart(2), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\n7.3\n3\n10\np1\n1\np2\n1\np3\n1\n"));
    EXPECT_NE(Inode(m_file), others) << "not written into the other's file";

    PackageIndex loaded;
    IndexLoadError error = CannotOpen;
    ASSERT_EQ(loaded.Load(m_file, error), 1);
    const std::uint64_t before = Inode(m_file);
    loaded.m_parts[0].m_done = 0;
    ASSERT_EQ(loaded.SavePart(0), 1);
    EXPECT_EQ(ReadFile(m_file), TextAsStored("1\n7.3\n3\n10\np1\n0\np2\n1\np3\n1\n"));
    EXPECT_NE(Inode(m_file), before) << "the first save after a load is a whole one";
}

TEST_F(PackageIndexTest, FirstUnfinishedPart) {
    m_index.m_parts = {{"a", 1}, {"b", 1}, {"c", 0}, {"d", 1}};
    EXPECT_EQ(m_index.FirstUnfinishedPart(), 2);
    m_index.m_parts = {{"a", 1}, {"b", 1}, {"c", 1}};
    EXPECT_EQ(m_index.FirstUnfinishedPart(), 3);
}

TEST_F(PackageIndexTest, ClearKeepsThePartSize) {
    ASSERT_EQ(LoadText("1\nv\n1\n4096\na\n0\n"), 1);
    m_index.Clear();
    EXPECT_TRUE(m_index.m_parts.empty());
    EXPECT_EQ(m_index.m_path, "");
    EXPECT_EQ(m_index.GetProductVersion(), "");
    EXPECT_EQ(m_index.m_partSize, 4096);
}

}  // namespace
