#include <gtest/gtest.h>
#ifdef __linux__
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/loop_file_system_posix.h"
#endif

#include <cstdlib>

#include "catalogue/package_index.h"
#include "engine/part_merge.h"
#include "framework/file_utils.h"
#include "framework/progress_ctrl.h"
#include "framework/sha256.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"

namespace {

class PartMergeTest : public testing::Test {
  protected:
    // Parts of the given sizes, all marked done; the last is the one that may differ.
    void MakeParts(const std::vector<std::size_t>& sizes, int partSize) {
        m_index.m_partSize = partSize;
        m_expected.clear();
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string name = "p" + std::to_string(i);
            const std::string bytes = PatternBytes(sizes[i], static_cast<unsigned>(i + 10));
            WriteFile(m_dir / name, bytes);
            m_index.m_parts.push_back({name, 1});
            m_expected += bytes;
        }
    }
    int Merge(ProgressCtrl* bar = nullptr, const std::atomic<int>* cancel = nullptr) {
        return MergeParts(m_index, OwnFolder::Open(m_dir.Path()), "velmora.exe", bar, cancel);
    }

    TempDir m_dir;
    PackageIndex m_index;
    MessageRecorder m_messages;
    std::string m_expected;
};

TEST_F(PartMergeTest, JoinsInOrderWithAShortLastPartAndAdvancesTheBar) {
    MakeParts({5000, 5000, 1234}, 5000);
    ProgressCtrl bar;
    bar.SetRange(0, 1000);
    ASSERT_EQ(Merge(&bar), 1) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(m_dir / "velmora.exe"), m_expected);
    EXPECT_EQ(bar.GetPos(), 999) << "333 per part";
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe.partial"));
}

TEST_F(PartMergeTest, TheLastPartHoldsFromOneByteToAWholePart) {
    for (const auto& [last, good] : {std::pair<std::size_t, bool>{1, true},
                                     {700, true},
                                     {0, false},
                                     {701, false},
                                     {900, false}}) {
        m_index.m_parts.clear();
        m_messages.Clear();
        RemoveFile(m_dir / "velmora.exe");
        MakeParts({700, 700, last}, 700);
        const std::string path = m_dir / "p2";
        EXPECT_EQ(Merge(), good ? 1 : 0) << last;
        if (good) {
            EXPECT_EQ(QueryFileSize(m_dir / "velmora.exe"), static_cast<std::int64_t>(1400 + last));
            EXPECT_TRUE(m_messages.Texts().empty());
        } else {
            ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IncorrectSize}) << last;
            EXPECT_EQ(m_messages.Failures()[0].path, path) << last;
            EXPECT_FALSE(FileExists(m_dir / "velmora.exe")) << last;
            EXPECT_EQ(m_index.m_parts[2].m_done, 0) << last;
        }
    }
}

TEST_F(PartMergeTest, APartOfTheWrongSizeIsDeletedAndMarkedForFetching) {
    const struct {
        std::vector<std::size_t> sizes;
        std::size_t bad;
    } cases[] = {{{1000, 999, 1000, 10}, 1}, {{1001, 1000, 10}, 0}};
    for (const auto& c : cases) {
        m_index.m_parts.clear();
        m_messages.Clear();
        MakeParts(c.sizes, 1000);
        // A part after the bad one that is missing: reading it would add a message.
        RemoveFile(m_dir / m_index.m_parts.back().m_name);
        const std::string bad = m_dir / m_index.m_parts[c.bad].m_name;
        EXPECT_EQ(Merge(), 0);
        ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IncorrectSize});
        EXPECT_EQ(m_messages.Failures()[0].path, bad);
        EXPECT_FALSE(FileExists(bad));
        EXPECT_EQ(m_index.m_parts[c.bad].m_done, 0);
        EXPECT_EQ(m_index.m_parts.back().m_done, 1) << "parts after it are not read";
        EXPECT_FALSE(FileExists(m_dir / "velmora.exe"));
        EXPECT_FALSE(FileExists(m_dir / "velmora.exe.partial"));
    }
}

// The version folder and the part names are the server's: a direction
// control in them is written out in every message of the join, never
// passed on to turn the rest of the box around.
TEST(PartMergeNamesTest, EveryMessageShowsTheServersNamesEscaped) {
    const std::string control = "\xE2\x80\xAE";
    TempDir root;
    // Made through the program's own calls, which take UTF-8 on every
    // system (the C++ streams would take the ANSI code page on Windows).
    const Result<OwnFolder> made = OwnFolder::Open(root.Path()).Subfolder("7" + control, true);
    ASSERT_TRUE(made);
    const OwnFolder folder = *made;
    MessageRecorder messages;
    const auto join = [&](const std::vector<std::size_t>& sizes, bool removeOne,
                          const Sha256Digest* installer, bool spoilPart = false) {
        PackageIndex index;
        index.m_partSize = 100;
        std::vector<Sha256Digest> digests;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string name = "p" + control + std::to_string(i);
            const std::string bytes = PatternBytes(sizes[i], static_cast<unsigned>(i));
            const FileHandle file = CreateOwnFile(folder, name);
            EXPECT_TRUE(WriteAll(file, bytes)) << name;
            index.m_parts.push_back({name, 1});
            Sha256 hash;
            hash.Update(bytes.data(), bytes.size());
            digests.push_back(hash.Digest());
        }
        if (removeOne) {
            RemoveOwnFile(folder, index.m_parts[1].m_name);
        }
        if (spoilPart) {
            digests[0][0] ^= 1;
        }
        const JoinCheck check{installer != nullptr ? *installer : Sha256Digest{}, &digests};
        messages.Clear();
        MergeParts(index, folder, "velmora.exe", nullptr, nullptr,
                   installer != nullptr ? &check : nullptr);
        return messages.Texts();
    };
    const Sha256Digest wrong{};
    const struct {
        const char* what;
        std::vector<std::string> texts;
    } failures[] = {
        {"a missing part", join({100, 100, 10}, true, nullptr)},
        {"a part of the wrong size", join({100, 99, 10}, false, nullptr)},
        {"a part that spoils the installer", join({100, 100, 10}, false, &wrong, true)},
        {"an installer that matches nothing", join({100, 100, 10}, false, &wrong)},
    };
    for (const auto& failure : failures) {
        ASSERT_EQ(failure.texts.size(), 1u) << failure.what;
        EXPECT_EQ(failure.texts[0].find(control), std::string::npos) << failure.what;
        EXPECT_NE(failure.texts[0].find("7\\u202E"), std::string::npos)
            << failure.what << ": " << failure.texts[0];
    }
}

// A release rebuilt behind the resume state's back: every part that no
// longer matches is named and marked, so one Download fetches them all.
TEST_F(PartMergeTest, EveryPartThatSpoilsTheInstallerIsNamedAndMarked) {
    MakeParts({100, 100, 100, 10}, 100);
    std::vector<Sha256Digest> digests;
    for (const PackagePart& part : m_index.m_parts) {
        Sha256 hash;
        const std::string bytes = ReadFile(m_dir / part.m_name);
        hash.Update(bytes.data(), bytes.size());
        digests.push_back(hash.Digest());
    }
    Sha256 whole;
    whole.Update(m_expected.data(), m_expected.size());
    const JoinCheck check{whole.Digest(), &digests};
    WriteFile(m_dir / "p1", PatternBytes(100, 91));
    WriteFile(m_dir / "p3", PatternBytes(10, 93));
    EXPECT_EQ(
        MergeParts(m_index, OwnFolder::Open(m_dir.Path()), "velmora.exe", nullptr, nullptr, &check),
        0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IncorrectData});
    EXPECT_EQ(m_messages.Failures()[0].paths, (std::vector{m_dir / "p1", m_dir / "p3"}));
    for (const std::size_t i : {0u, 2u}) {
        EXPECT_EQ(m_index.m_parts[i].m_done, 1) << "part " << i;
    }
    for (const std::size_t i : {1u, 3u}) {
        EXPECT_EQ(m_index.m_parts[i].m_done, 0) << "part " << i;
        EXPECT_FALSE(FileExists(m_dir / m_index.m_parts[i].m_name)) << "part " << i;
    }
}

TEST_F(PartMergeTest, AMissingPartIsReportedAndNotCreated) {
    MakeParts({100, 100, 50}, 100);
    const std::string missing = m_dir / "p1";
    RemoveFile(missing);
    EXPECT_EQ(Merge(), 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotOpenInputFile});
    EXPECT_EQ(m_messages.Failures()[0].path, missing);
    EXPECT_EQ(m_index.m_parts[1].m_done, 0);
    EXPECT_EQ(m_index.m_parts[0].m_done, 1);
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe"));
}

TEST_F(PartMergeTest, AnOutputThatCannotBeCreatedOpensNoPart) {
    MakeParts({100, 50}, 100);
    ASSERT_TRUE(MakeFolder(m_dir / "velmora.exe.partial"));
    RemoveFile(m_dir / "p0");  // would give its own message if opened
    EXPECT_EQ(Merge(), 0);
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotCreateOutputFile});
    EXPECT_EQ(m_index.m_parts[0].m_done, 1);
}

TEST_F(PartMergeTest, AFolderInThePlaceOfTheInstallerIsNotReplaced) {
    MakeParts({100, 50}, 100);
    ASSERT_TRUE(MakeFolder(m_dir / "velmora.exe"));
    WriteFile(m_dir / "velmora.exe/inside", "x");
    EXPECT_EQ(Merge(), 0);
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::CannotCreateOutputFile});
    EXPECT_EQ(ReadFile(m_dir / "velmora.exe/inside"), "x");
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe.partial"));
}

TEST_F(PartMergeTest, NoPartsGiveAnEmptyInstaller) {
    ProgressCtrl bar;
    EXPECT_EQ(Merge(&bar), 1);
    EXPECT_EQ(QueryFileSize(m_dir / "velmora.exe"), 0);
    EXPECT_EQ(bar.GetPos(), 0);
}

TEST_F(PartMergeTest, CancelledJoinLeavesNothingBehind) {
    MakeParts({100, 100, 100}, 100);
    std::atomic<int> cancel{1};
    EXPECT_EQ(Merge(nullptr, &cancel), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"p0", "p1", "p2"}));
}

TEST_F(PartMergeTest, AFullDiskFailsTheJoinAndLeavesNoInstaller) {
    if (!HasFileSizeLimit()) {
        GTEST_SKIP() << kNoFileSizeLimit;
    }
    MakeParts({40000, 40000, 100}, 40000);
    int result = 1;
    {
        ScopedFileSizeLimit full(50000);
        result = Merge();
    }
    EXPECT_EQ(result, 0);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::FailedToWriteFile});
    EXPECT_EQ(m_messages.Failures()[0].path, m_dir / "velmora.exe");
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe"));
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe.partial"));
    EXPECT_EQ(m_index.m_parts[1].m_done, 1) << "the parts themselves are fine";
}

}  // namespace

// Linux copies with reflinks where the file system shares extents.
#ifdef __linux__
namespace {

// True when every extent of the file shares its blocks with another file.
bool AllExtentsShared(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    constexpr unsigned kExtents = 256;
    std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    const bool mapped = fd >= 0 && ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents > 0;
    close(fd);
    bool shared = mapped;
    for (unsigned i = 0; shared && i < map->fm_mapped_extents; ++i) {
        shared = (map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) != 0;
    }
    return shared;
}

TEST(PartMergeReflinkTest, TheJoinSharesThePartsBlocksWhereTheFileSystemCan) {
    const LoopFileSystem xfs("mkfs.xfs -q -m reflink=1", 320);
    if (!xfs.Missing().empty()) {
        GTEST_SKIP() << "no reflink file system to test on: needs " << xfs.Missing();
    }
    MessageRecorder messages;
    PackageIndex index;
    index.m_partSize = 64 * 1024;
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "p" + std::to_string(i);
        const std::string bytes = PatternBytes(i == 4 ? 1234 : 64 * 1024, static_cast<unsigned>(i));
        WriteFile(xfs.Path() + kPathSeparator + name, bytes);
        index.m_parts.push_back({name, 1});
        expected += bytes;
    }
    // The check hashes the cloned parts, which were never copied through.
    std::vector<Sha256Digest> parts;
    for (const PackagePart& part : index.m_parts) {
        Sha256 hash;
        const std::string bytes = ReadFile(xfs.Path() + kPathSeparator + part.m_name);
        hash.Update(bytes.data(), bytes.size());
        parts.push_back(hash.Digest());
    }
    Sha256 whole;
    whole.Update(expected.data(), expected.size());
    const JoinCheck check{whole.Digest(), &parts};
    ASSERT_EQ(
        MergeParts(index, OwnFolder::Open(xfs.Path()), "velmora.exe", nullptr, nullptr, &check), 1)
        << testing::PrintToString(messages.Texts());
    EXPECT_EQ(ReadFile(xfs.Path() / "velmora.exe"), expected);
    EXPECT_TRUE(AllExtentsShared(xfs.Path() / "velmora.exe"))
        << "the parts were copied, not cloned";

    // A part changed after its check no longer joins.
    WriteFile(xfs.Path() / "p2", PatternBytes(64 * 1024, 99));
    EXPECT_EQ(
        MergeParts(index, OwnFolder::Open(xfs.Path()), "velmora.exe", nullptr, nullptr, &check), 0);
    EXPECT_EQ(index.m_parts[2].m_done, 0);
}

}  // namespace
#endif  // __linux__
