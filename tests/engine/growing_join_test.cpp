// The join that trails the worker: what a stopped or killed run leaves is
// continued only as far as its record vouches for it, and never trusted
// beyond what the checksums confirm.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/package_index.h"
#include "engine/growing_join.h"
#include "framework/file_utils.h"
#include "framework/sha256.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

constexpr int kPartSize = 4096;

class GrowingJoinTest : public testing::Test {
  protected:
    void SetUp() override {
        m_index.m_partSize = kPartSize;
        for (std::size_t i = 0; i < 5; ++i) {
            const std::string name = "p" + std::to_string(i);
            const std::string bytes =
                PatternBytes(i + 1 < 5 ? kPartSize : 100, static_cast<unsigned>(i + 3));
            WriteFile(m_dir / name, bytes);
            m_index.m_parts.push_back({name, 1});
            m_parts.push_back(bytes);
            m_installer += bytes;
            m_digests.push_back(DigestOf(bytes));
        }
        m_check = {DigestOf(m_installer), &m_digests};
    }

    static Sha256Digest DigestOf(const std::string& bytes) {
        Sha256 hash;
        hash.Update(bytes.data(), bytes.size());
        return hash.Digest();
    }

    // A run that joins the first `parts` and is stopped.
    void StopAfter(std::size_t parts, bool checked) {
        GrowingJoin join(m_index, Folder(), "velmora.exe", checked ? &m_check : nullptr, nullptr);
        join.Start();
        for (std::size_t i = 0; i < parts; ++i) {
            join.PartReady(i, m_index.m_parts[i].m_name);
        }
        WaitFor([&] { return join.JoinedParts() == parts; }, "the parts to be joined");
        join.Stop();
    }

    // A whole run, every part handed over.
    int JoinAll(bool checked) {
        GrowingJoin join(m_index, Folder(), "velmora.exe", checked ? &m_check : nullptr, nullptr);
        join.Start();
        for (std::size_t i = 0; i < m_index.m_parts.size(); ++i) {
            join.PartReady(i, m_index.m_parts[i].m_name);
        }
        return join.Finish(m_index, nullptr);
    }

    OwnFolder Folder() const { return OwnFolder::Open(m_dir.Path()); }
    std::string Record() const { return ReadFile(m_dir / "velmora.exe.joined"); }

    TempDir m_dir;
    PackageIndex m_index;
    MessageRecorder m_messages;
    std::vector<std::string> m_parts;
    std::vector<Sha256Digest> m_digests;
    std::string m_installer;
    JoinCheck m_check{};
};

TEST_F(GrowingJoinTest, AStoppedJoinIsContinuedWithoutReadingThePartsItHolds) {
    for (const bool checked : {false, true}) {
        SCOPED_TRACE(checked ? "with checksums" : "without checksums");
        StopAfter(3, checked);
        EXPECT_EQ(Record().substr(0, Record().find(' ', 2)), "3 " + std::to_string(3 * kPartSize));
        EXPECT_EQ(ReadFile(m_dir / "velmora.exe.partial"), m_installer.substr(0, 3 * kPartSize));
        // The parts it holds are gone: only the record can bring them back.
        for (int i = 0; i < 3; ++i) {
            RemoveFile(m_dir / ("p" + std::to_string(i)));
        }
        ASSERT_EQ(JoinAll(checked), 1) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(m_dir / "velmora.exe"), m_installer);
        EXPECT_FALSE(FileExists(m_dir / "velmora.exe.partial"));
        EXPECT_FALSE(FileExists(m_dir / "velmora.exe.joined"));
        for (int i = 0; i < 3; ++i) {
            WriteFile(m_dir / ("p" + std::to_string(i)), m_parts[i]);
        }
        RemoveFile(m_dir / "velmora.exe");
    }
}

// A crash between an append and the next record leaves bytes no record
// vouches for; a record that does not fit its file vouches for nothing.
TEST_F(GrowingJoinTest, NothingBeyondTheRecordIsTrusted) {
    const struct {
        const char* what;
        std::function<void()> spoil;
    } cases[] = {
        {"bytes after the recorded length",
         [this] {
             WriteFile(m_dir / "velmora.exe.partial",
                       m_installer.substr(0, 2 * kPartSize) + std::string(kPartSize, 'x'));
         }},
        {"a growing file shorter than its record",
         [this] {
             // Written anew: another file, and too short for the record.
             RemoveFile(m_dir / "velmora.exe.partial");
             WriteFile(m_dir / "velmora.exe.partial", std::string(100, 'x'));
         }},
        {"another file of the same length",
         [this] {
             const std::string junk(2 * kPartSize, 'x');
             const std::string keep = m_dir / "keep";
             WriteFile(keep, junk);
             RemoveFile(m_dir / "velmora.exe.partial");
             std::rename(keep.c_str(), (m_dir / "velmora.exe.partial").c_str());
         }},
        {"a record that is no record",
         [this] {
             WriteFile(m_dir / "velmora.exe.partial", std::string(2 * kPartSize, 'x'));
             WriteFile(m_dir / "velmora.exe.joined", "2 8192 garbage\n");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StopAfter(2, false);
        c.spoil();
        ASSERT_EQ(JoinAll(false), 1) << testing::PrintToString(m_messages.Texts());
        EXPECT_EQ(ReadFile(m_dir / "velmora.exe"), m_installer);
        RemoveFile(m_dir / "velmora.exe");
    }
}

// With the parts' checksums, what the record vouches for is read back and
// each part in it checked: a damaged one is joined again from its file.
TEST_F(GrowingJoinTest, APartDamagedInTheGrowingFileIsJoinedAgain) {
    StopAfter(4, true);
    std::string grown = ReadFile(m_dir / "velmora.exe.partial");
    grown[kPartSize + 7] ^= 1;
    const std::string record = Record();
    WriteFile(m_dir / "velmora.exe.partial", grown);  // the same file, written in place
    ASSERT_EQ(Record(), record);
    ASSERT_EQ(JoinAll(true), 1) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(m_dir / "velmora.exe"), m_installer);
}

// A part to be fetched again may come with other bytes: the record is cut
// back before it on disk before anything is fetched, so that a run killed
// after the fetch does not find the old bytes vouched for.
TEST_F(GrowingJoinTest, APartNotDoneCutsTheRecordBackAtOnce) {
    StopAfter(4, false);
    m_index.m_parts[1].m_done = 0;
    {
        const GrowingJoin join(m_index, Folder(), "velmora.exe", nullptr, nullptr);
        EXPECT_EQ(Record().substr(0, Record().find(' ', 2)), "1 " + std::to_string(kPartSize));
    }
    m_parts[1] = PatternBytes(kPartSize, 99);
    WriteFile(m_dir / "p1", m_parts[1]);
    m_index.m_parts[1].m_done = 1;
    ASSERT_EQ(JoinAll(false), 1);
    EXPECT_EQ(ReadFile(m_dir / "velmora.exe"),
              m_parts[0] + m_parts[1] + m_parts[2] + m_parts[3] + m_parts[4]);
}

TEST_F(GrowingJoinTest, ClosingEndsTheJoinAndKeepsWhatItRecorded) {
    StopAfter(2, true);
    const std::string record = Record();
    std::atomic<int> closing{0};
    {
        GrowingJoin join(m_index, Folder(), "velmora.exe", &m_check, &closing);
        join.Start();
        closing = 1;
        for (std::size_t i = 0; i < m_index.m_parts.size(); ++i) {
            join.PartReady(i, m_index.m_parts[i].m_name);
        }
        EXPECT_EQ(join.Finish(m_index, nullptr), 0);
    }
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_FALSE(FileExists(m_dir / "velmora.exe"));
    EXPECT_EQ(Record(), record);
    ASSERT_EQ(JoinAll(true), 1);
    EXPECT_EQ(ReadFile(m_dir / "velmora.exe"), m_installer);
}

}  // namespace
