#include "framework/file_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "framework/durable_file.h"
#include "support/temp_dir.h"

// The file seam's contract through its interface alone, so that the same
// cases run on Linux and, built with MinGW-w64, under Wine.

namespace {

namespace fs = std::filesystem;

// What the name holds, read through the folder; "(none)" when it cannot be
// opened as a regular file.
std::string ReadOwn(const OwnFolder& folder, const std::string& name) {
    const FileHandle file = OpenOwnFileForReading(folder, name);
    return file.IsOpen() ? ReadAll(file) : "(none)";
}

void WriteOwn(const OwnFolder& folder, const std::string& name, const std::string& data) {
    FileHandle file = CreateOwnFile(folder, name);
    ASSERT_TRUE(file.IsOpen()) << name << ": " << SystemErrorText();
    ASSERT_TRUE(WriteAll(file, data));
    ASSERT_TRUE(file.Close());
}

std::set<std::string> Names(const OwnFolder& folder) {
    std::set<std::string> names;
    EXPECT_TRUE(ForEachEntry(folder, [&](const std::string& name) {
        names.insert(name);
        return true;
    }));
    return names;
}

class FileSystemTest : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        m_root = fs::temp_directory_path() /
                 fs::path("velmora-fs-" + std::to_string(random()) + "-" + std::to_string(now));
        ASSERT_TRUE(fs::create_directory(m_root));
        m_folder = OwnFolder::Open(m_root.string());
        ASSERT_TRUE(m_folder.IsOpen()) << SystemErrorText();
    }

    void TearDown() override {
        m_folder = OwnFolder();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    OwnFolder Subfolder(const std::string& name) {
        Result<OwnFolder> folder = m_folder.Subfolder(name, true);
        EXPECT_TRUE(folder) << name;
        return folder ? *folder : OwnFolder();
    }

    fs::path m_root;
    OwnFolder m_folder;
};

TEST_F(FileSystemTest, CreatingAfreshReplacesARegularFileAndNothingElse) {
    ASSERT_TRUE(MakeFolder(m_folder.PathOf("folder")));
    EXPECT_FALSE(CreateOwnFile(m_folder, "folder").IsOpen());
    EntryInfo folder;
    ASSERT_TRUE(StatOwnEntry(m_folder, "folder", folder));
    EXPECT_EQ(folder.kind, EntryKind::Folder);

    WriteOwn(m_folder, "part", "old");
    WriteOwn(m_folder, "part", "new");
    EXPECT_EQ(ReadOwn(m_folder, "part"), "new");

    // Someone else's open of the old file (a hard link's, say) keeps seeing
    // the old data: the new file is another one.
    const FileHandle reader = OpenOwnFileForReading(m_folder, "part");
    ASSERT_TRUE(reader.IsOpen());
    EntryInfo before;
    ASSERT_TRUE(StatFile(reader, before));
    FileHandle file = CreateOwnFile(m_folder, "part");
#ifdef _WIN32
    if (!file.IsOpen()) {
        GTEST_SKIP() << "a removed file keeps its name while it is open: no POSIX delete "
                        "semantics here (Wine, FAT, Windows before 10 1709)";
    }
#endif
    ASSERT_TRUE(file.IsOpen()) << SystemErrorText();
    ASSERT_TRUE(WriteAll(file, std::string("newer")));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadOwn(m_folder, "part"), "newer");
    EXPECT_EQ(ReadAll(reader), "new");
    EntryInfo after;
    ASSERT_TRUE(StatOwnEntry(m_folder, "part", after));
    EXPECT_NE(after.identity.file, before.identity.file);
}

TEST_F(FileSystemTest, OpensForAppendingOnlyAFileOfExactlyTheGivenSize) {
    WriteOwn(m_folder, "part", "12345");
    EXPECT_FALSE(OpenOwnFileForAppending(m_folder, "part", 4).IsOpen());
    EXPECT_FALSE(OpenOwnFileForAppending(m_folder, "part", 6).IsOpen());
    EXPECT_FALSE(OpenOwnFileForAppending(m_folder, "missing", 0).IsOpen());
    {
        const FileHandle file = OpenOwnFileForAppending(m_folder, "part", 5);
        ASSERT_TRUE(file.IsOpen()) << SystemErrorText();
        ASSERT_TRUE(WriteAll(file, std::string("6")));
    }
    EXPECT_EQ(ReadOwn(m_folder, "part"), "123456");

    // A second name for the file: it is not only the program's any more.
    std::error_code error;
    fs::create_hard_link(m_root / "part", m_root / "other", error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_FALSE(OpenOwnFileForAppending(m_folder, "part", 6).IsOpen());
    EntryInfo info;
    ASSERT_TRUE(StatOwnEntry(m_folder, "part", info));
    EXPECT_EQ(info.links, 2u);
    EXPECT_EQ(info.size, 6);
}

TEST_F(FileSystemTest, ReadsAndWritesAtOffsets) {
    WriteOwn(m_folder, "part", "0123456789");
    {
        const FileHandle file = OpenOwnFileForChanging(m_folder, "part");
        ASSERT_TRUE(file.IsOpen()) << SystemErrorText();
        ASSERT_TRUE(WriteAt(file, 3, "ab", 2));
        ASSERT_TRUE(WriteAt(file, 10, "z", 1));
    }
    const FileHandle file = OpenOwnFileForReading(m_folder, "part");
    ASSERT_TRUE(file.IsOpen());
    char buffer[8] = {};
    std::size_t got = 0;
    ASSERT_TRUE(ReadAt(file, 2, buffer, 4, got));
    EXPECT_EQ(std::string(buffer, got), "2ab5");
    ASSERT_TRUE(ReadAt(file, 9, buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "9z");
    ASSERT_TRUE(ReadAt(file, 20, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
    EntryInfo info;
    ASSERT_TRUE(StatFile(file, info));
    EXPECT_EQ(info.kind, EntryKind::File);
    EXPECT_EQ(info.size, 11);
    EXPECT_EQ(info.links, 1u);
    // A part found whole is put on disk through a handle opened for reading.
    EXPECT_TRUE(SyncData(file)) << SystemErrorText();
}

TEST_F(FileSystemTest, TellsFilesApartByIdentity) {
    WriteOwn(m_folder, "one", "1");
    WriteOwn(m_folder, "two", "2");
    EntryInfo one;
    EntryInfo two;
    EntryInfo opened;
    ASSERT_TRUE(StatOwnEntry(m_folder, "one", one));
    ASSERT_TRUE(StatOwnEntry(m_folder, "two", two));
    ASSERT_TRUE(StatFile(OpenOwnFileForReading(m_folder, "one"), opened));
    EXPECT_EQ(opened.identity, one.identity);
    EXPECT_NE(one.identity.file, two.identity.file);
    EXPECT_EQ(one.identity.device, two.identity.device);
    EntryInfo byPath;
    ASSERT_TRUE(StatPath(m_folder.PathOf("one"), byPath));
    EXPECT_EQ(byPath.identity, one.identity);
    EXPECT_FALSE(StatOwnEntry(m_folder, "three", opened));
    EXPECT_FALSE(StatPath(m_folder.PathOf("three"), opened));
}

// On Linux the folder can be renamed while held and the handle follows it;
// Windows refuses to rename a held folder. Either way, what the handle
// reaches is the folder that was opened.
TEST_F(FileSystemTest, AHeldFolderReachesItsOwnFilesWhateverItsPathLeadsToLater) {
    OwnFolder held = Subfolder("held");
    ASSERT_TRUE(held.IsOpen());
    WriteOwn(held, "file", "held");

    std::error_code renamed;
    fs::rename(m_root / "held", m_root / "moved", renamed);
    if (!renamed) {
        ASSERT_TRUE(fs::create_directory(m_root / "held"));
        std::ofstream(m_root / "held" / "file", std::ios::binary) << "impostor";
    }

    EXPECT_EQ(ReadOwn(held, "file"), "held");
    EXPECT_EQ(Names(held), std::set<std::string>{"file"});
    WriteOwn(held, "second", "2");
    EXPECT_EQ(ReadOwn(held, "second"), "2");
}

TEST_F(FileSystemTest, OpensOnlyFoldersAsSubfolders) {
    WriteOwn(m_folder, "file", "x");
    const Result<OwnFolder> file = m_folder.Subfolder("file", true);
    ASSERT_FALSE(file);
    EXPECT_EQ(file.Error().kind, FailureKind::ForeignFolder);
    EXPECT_EQ(file.Error().path, m_folder.PathOf("file"));
    const Result<OwnFolder> missing = m_folder.Subfolder("missing", false);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Error().kind, FailureKind::System);
    EXPECT_NE(missing.Error().systemError, 0) << "the system's reason travels with it";

    const OwnFolder made = Subfolder("made");
    ASSERT_TRUE(made.IsOpen());
    const OwnFolder again = Subfolder("made");
    EXPECT_TRUE(again.IsOpen());
    EXPECT_TRUE(MakeFolder(m_folder.PathOf("made")));
    EXPECT_FALSE(MakeFolder(m_folder.PathOf("file")));
    EXPECT_FALSE(OpenOwnFileForReading(m_folder, "made").IsOpen());
    EXPECT_FALSE(RemoveOwnFile(m_folder, "made"));
    EXPECT_TRUE(fs::is_directory(m_root / "made"));
}

TEST_F(FileSystemTest, NeverFollowsALinkInAHeldFolder) {
    WriteOwn(m_folder, "target", "target");
    ASSERT_TRUE(MakeFolder(m_folder.PathOf("folder")));
    std::error_code error;
    fs::create_symlink(m_root / "target", m_root / "link", error);
    if (!error) {
        fs::create_directory_symlink(m_root / "folder", m_root / "folderlink", error);
    }
    if (error) {
        GTEST_SKIP() << "no links can be made here (Wine has no reparse points): "
                     << error.message();
    }
    EXPECT_FALSE(OpenOwnFileForReading(m_folder, "link").IsOpen());
    EXPECT_FALSE(OpenOwnFileForChanging(m_folder, "link").IsOpen());
    EXPECT_FALSE(CreateOwnFile(m_folder, "link").IsOpen());
    EXPECT_FALSE(OpenOrCreateOwnFile(m_folder, "link", NewFile::Shared));
    EntryInfo info;
    ASSERT_TRUE(StatOwnEntry(m_folder, "link", info));
    EXPECT_EQ(info.kind, EntryKind::Link);
    const Result<OwnFolder> throughLink = m_folder.Subfolder("folderlink", false);
    ASSERT_FALSE(throughLink);
    EXPECT_EQ(throughLink.Error().kind, FailureKind::ForeignFolder);

    // The link goes, never what it leads to.
    EXPECT_TRUE(RemoveOwnFile(m_folder, "link"));
    EXPECT_TRUE(RemoveOwnFile(m_folder, "folderlink"));
    EXPECT_EQ(ReadOwn(m_folder, "target"), "target");
    EXPECT_TRUE(fs::is_directory(m_root / "folder"));
    EXPECT_EQ(Names(m_folder), (std::set<std::string>{"folder", "target"}));
}

TEST_F(FileSystemTest, RenamesBetweenFoldersReplacingTheTarget) {
    const OwnFolder from = Subfolder("from");
    const OwnFolder to = Subfolder("to");
    WriteOwn(from, "part", "new");
    WriteOwn(to, "whole", "old");
    ASSERT_TRUE(RenameOwnFile(from, "part", to, "whole")) << SystemErrorText();
    EXPECT_EQ(ReadOwn(to, "whole"), "new");
    EXPECT_TRUE(Names(from).empty());
    EXPECT_EQ(Names(to), std::set<std::string>{"whole"});
    EXPECT_FALSE(RenameOwnFile(from, "part", to, "again"));

    EXPECT_TRUE(RemoveOwnFile(to, "whole"));
    EXPECT_TRUE(Names(to).empty());
    EXPECT_FALSE(RemoveOwnFile(to, "whole"));
}

TEST_F(FileSystemTest, ListsEveryEntryUntilTheVisitorStops) {
    WriteOwn(m_folder, "one", "1");
    WriteOwn(m_folder, "two", "2");
    ASSERT_TRUE(Subfolder("three").IsOpen());
    EXPECT_EQ(Names(m_folder), (std::set<std::string>{"one", "three", "two"}));

    int visited = 0;
    EXPECT_TRUE(ForEachEntry(m_folder, [&](const std::string&) { return ++visited < 2; }));
    EXPECT_EQ(visited, 2);
    // A second listing starts again from the first entry.
    EXPECT_EQ(Names(m_folder).size(), 3u);
    EXPECT_FALSE(ForEachEntry(OwnFolder::Open(m_folder.PathOf("none")),
                              [](const std::string&) { return true; }));
}

TEST_F(FileSystemTest, LocksExclusivelyBetweenTwoOpens) {
    Result<FileHandle> first = OpenOrCreateOwnFile(m_folder, "lock", NewFile::Private);
    const Result<FileHandle> second = OpenOrCreateOwnFile(m_folder, "lock", NewFile::Private);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(Names(m_folder), std::set<std::string>{"lock"});

    ASSERT_TRUE(TryLockFile(*first));
    const Outcome taken = TryLockFile(*second);
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.Error().kind, FailureKind::FolderInUse);
    // Data stays readable under the lock.
    EXPECT_EQ(ReadOwn(m_folder, "lock"), "");

    ASSERT_TRUE(first->Close());
    EXPECT_TRUE(TryLockFile(*second));
}

TEST_F(FileSystemTest, AppendsTheRestOfAFile) {
    WriteOwn(m_folder, "in", "abcdefgh");
    WriteOwn(m_folder, "out", "xy");
    const FileHandle in = OpenOwnFileForReading(m_folder, "in");
    const FileHandle out = OpenOwnFileForAppending(m_folder, "out", 2);
    ASSERT_TRUE(in.IsOpen());
    ASSERT_TRUE(out.IsOpen());
    char skipped[3];
    std::size_t got = 0;
    ASSERT_TRUE(ReadSome(in, skipped, sizeof skipped, got));
    ASSERT_EQ(got, 3u);
    std::int64_t total = 10;
    EXPECT_TRUE(AppendFileContents(in, out, total));
    EXPECT_EQ(total, 15);
    EXPECT_EQ(ReadOwn(m_folder, "out"), "xydefgh");
}

TEST_F(FileSystemTest, ReplacesDurablyOrNotAtAll) {
    WriteOwn(m_folder, "index", "old");
    {
        DurableReplacement abandoned(m_folder, "index", ".tmp");
        ASSERT_TRUE(abandoned.IsOpen());
        ASSERT_TRUE(abandoned.Write("half"));
    }
    EXPECT_EQ(ReadOwn(m_folder, "index"), "old");
    EXPECT_EQ(Names(m_folder), std::set<std::string>{"index"});

    DurableReplacement replacement(m_folder, "index", ".tmp");
    ASSERT_TRUE(replacement.IsOpen());
    ASSERT_TRUE(replacement.Write("new"));
    EXPECT_EQ(ReadOwn(m_folder, "index"), "old");
    ASSERT_TRUE(replacement.Commit());
    EXPECT_EQ(ReadOwn(m_folder, "index"), "new");
    EXPECT_EQ(Names(m_folder), std::set<std::string>{"index"});

    ASSERT_TRUE(MakeFolder(m_folder.PathOf("folder")));
    EXPECT_FALSE(DurableReplacement(m_folder, "folder", ".tmp").IsOpen());
}

}  // namespace
