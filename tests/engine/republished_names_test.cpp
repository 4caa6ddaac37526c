// A maker who republishes parts under names of other letter case: on every
// disk, case-sensitive or not, each part keeps one file.

#include <gtest/gtest.h>

#include <map>

#include "catalogue/server_names.h"
#include "engine/download_cleanup.h"
#include "support/engine_fixture.h"

namespace {

constexpr int kPartSize = 1024;

class RepublishedNamesTest : public EngineTest {
  protected:
    RepublishedNamesTest() {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        m_state->m_strPublicKey.clear();
    }
    void PublishNamed(const std::vector<std::string>& names) {
        std::string index =
            "1\n7.6\n" + std::to_string(names.size()) + "\n" + std::to_string(kPartSize) + "\n";
        for (std::size_t i = 0; i < names.size(); ++i) {
            WriteFile(m_serverRoot / ("download/quindle7/" + names[i]), Bytes(i));
            index += names[i] + "\n0\n";
        }
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt", index);
    }
    static std::string Bytes(std::size_t part) {
        return PatternBytes(kPartSize, static_cast<unsigned>(part + 1));
    }
    void Restart() {
        NewState();
        m_state->m_strPublicKey.clear();
        m_messages.Clear();
    }
    // The files of the version folder by key: each key once, or the test
    // says which key has two.
    std::map<std::string, std::string> FilesByKey() const {
        std::map<std::string, std::string> files;
        for (const std::string& name : ListFolder(ProgramFolder() / "7.6")) {
            EXPECT_TRUE(files.emplace(NameKey(name), name).second) << "two files for " << name;
        }
        return files;
    }
};

TEST_F(RepublishedNamesTest, APartRepublishedInOtherCaseKeepsOneFileThroughCleanup) {
    PublishNamed({"qd001.bin", "qd002.bin", "qd003.bin"});
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(FilesByKey().count("qd003.bin"), 1u);

    // Republished with one name in capitals: the part is kept, not fetched.
    PublishNamed({"qd001.bin", "qd002.bin", "QD003.bin"});
    m_server.ClearRequests();
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(m_server.CountRequests("/download/quindle7/QD003.bin"), 0);
    const auto files = FilesByKey();
    ASSERT_EQ(files.count("qd003.bin"), 1u);
    EXPECT_EQ(ReadFile(ProgramFolder() / "7.6" / files.at("qd003.bin")), Bytes(2));

    // What a crash before that rename, or an older program, would leave: a
    // second name of a part's key. Cleanup takes it too, and the next
    // preparation finds a folder of the program's own.
    WriteFile(ProgramFolder() / "7.6/QD001.BIN", "left by an earlier run");
    m_messages.Clear();
    EXPECT_EQ(DeleteDownloadFiles(*m_state), 1);
    // Once the state lets go of the resume state, which Windows removes only
    // when nobody holds it open.
    Restart();
    EXPECT_EQ(ListFolder(ProgramFolder() / "7.6"), std::vector<std::string>{});
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    ASSERT_EQ(Download(), 0);
    EXPECT_TRUE(m_messages.Texts().empty()) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(FilesByKey().size(), 5u) << "three parts, the resume state and the installer";
}

}  // namespace
