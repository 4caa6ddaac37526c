// Parts and installers that are whole, or look whole, when a run starts:
// a stop between a part's last byte and its record, a proxy that announces
// a byte too many, a file a byte too long, an installer of the right size
// with the wrong bytes. No combination of answers may leave a part failing
// at every run while the server serves the right bytes, and nothing may pass
// for checked that was not.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "catalogue/package_files.h"
#include "catalogue/package_index.h"
#include "engine/package_display.h"
#include "faults/fault_fixture.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "support/platform_files.h"
#include "support/test_key.h"
#include "support/wait.h"

namespace {

class CompletionTest : public FaultTest {
  protected:
    std::size_t Last() const { return m_package.partNames.size() - 1; }
    std::string ResumeState() const { return PackageFolder() / "7.7/pkgindex.txt"; }
    // The resume state as a run killed after the part's last byte, before
    // its record, leaves it.
    void Unrecord(std::size_t i) {
        // The run is gone, as a killed one is (on Windows its open resume
        // state could not be replaced).
        m_state.reset();
        PackageIndex index;
        IndexLoadError reason{};
        ASSERT_EQ(index.Load(ResumeState(), reason), 1);
        index.m_parts[i].m_done = 0;
        ASSERT_EQ(index.Save(), 1);
    }
    std::vector<std::string> RangesAskedFor(std::size_t i) const {
        std::vector<std::string> ranges;
        for (const auto& request : m_server.Requests()) {
            if (request.path == m_package.RemotePath(i)) {
                ranges.push_back(request.range);
            }
        }
        return ranges;
    }
    void Restart() {
        NewState();
        m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
        m_state->m_limits.stallMs = 1000;
        m_server.ClearRequests();
        m_messages.Clear();
    }
    bool InstallEnabled() const { return m_items.Get(res::IDC_INSTALL).enabled; }
    // An index of two parts of `partSize` (files far too large to serve, for
    // the cases that never fetch them) with checksums, so that what lies on
    // disk is hashed.
    void PublishTwoLargeParts(long long partSize) {
        const std::string folder = m_serverRoot.Path() / "download/quindle7/";
        WriteFile(folder + "pkgindex.txt",
                  "1\n7.7\n2\n" + std::to_string(partSize) + "\nbig.001\n0\nbig.002\n0\n");
        std::string sums;
        for (const auto& [name, digest] :
             {std::pair<std::string, Sha256Digest>{"big.001", DigestOf("a")},
              {"big.002", DigestOf("b")},
              {"velmora.exe", DigestOf("ab")},
              {"pkgindex.txt", DigestOf(ReadFile(folder + "pkgindex.txt"))}}) {
            sums += ToHex(digest) + "  " + name + "\n";
        }
        WriteFile(folder + "SHA256SUMS", sums);
    }
};

TEST_F(CompletionTest, ACompleteButUnrecordedLastPartAnsweredWith416IsTaken) {
    // With checksums: across runs the whole file is checked and continued
    // from its end; the server's 416 "bytes */size" says nothing is left.
    PublishChecksums(m_serverRoot.Path(), m_package, kPackageMain);
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    Unrecord(Last());
    std::remove(Installer().c_str());
    const std::string size = std::to_string(m_package.PartBytes(Last()).size());
    for (int run = 0; run < 2; ++run) {
        Restart();
        ASSERT_EQ(Prepare(), 1);
        EXPECT_EQ(Download(), 0) << "run " << run << ": " << OnlyMessage();
        EXPECT_EQ(ReadFile(Installer()), m_package.installer);
        // The second run finds it recorded.
        EXPECT_EQ(RangesAskedFor(Last()), run == 0 ? std::vector<std::string>{"bytes=" + size + "-"}
                                                   : std::vector<std::string>{})
            << "run " << run;
    }
    ExpectNothingLost("a whole last part, with checksums");

    // Without checksums, within a run: a proxy announced one byte more than
    // the part, the fetch failed after the whole part, and the next attempt
    // asks for the rest.
    std::remove((m_serverRoot.Path() + m_package.serverFolder / "SHA256SUMS").c_str());
    Fresh();
    m_server.SetFault(m_package.RemotePath(Last()), Fault{.announceExtra = 1, .times = 1});
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(Installer()), m_package.installer);
    EXPECT_EQ(RangesAskedFor(Last()), (std::vector<std::string>{"", "bytes=" + size + "-"}));
    ExpectNothingLost("a whole last part, without checksums");
}

TEST_F(CompletionTest, AnUnrecordedWholePartIsCheckedNotFetchedAndOneTooLongStartsAgain) {
    PublishChecksums(m_serverRoot.Path(), m_package, kPackageMain);
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    std::remove(Installer().c_str());
    Unrecord(1);
    Unrecord(2);
    Unrecord(3);
    // The second part whole, the third a byte too long, the fourth whole but spoilt.
    WriteFile(Part(2), m_package.PartBytes(2) + "x");
    std::string spoilt = m_package.PartBytes(3);
    spoilt[100] = static_cast<char>(spoilt[100] ^ 1);
    WriteFile(Part(3), spoilt);
    Restart();
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(Installer()), m_package.installer);
    EXPECT_EQ(RangesAskedFor(1), std::vector<std::string>{}) << "whole and right: taken";
    EXPECT_EQ(RangesAskedFor(2), std::vector<std::string>{""}) << "too long: from zero";
    EXPECT_EQ(RangesAskedFor(3), std::vector<std::string>{""}) << "spoilt: found wrong, from zero";
    ExpectNothingLost("whole, too long and spoilt parts");
}

TEST_F(CompletionTest, ASameSizeFalseInstallerIsJoinedAgainAndAnUnchangedOneIsNotRead) {
    PublishChecksums(m_serverRoot.Path(), m_package, kPackageMain);
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    ASSERT_TRUE(FileExists(PackageFolder() / "7.7/velmora.exe.checked"));

    // Unchanged: the window trusts the file it recorded, without reading it.
    // Shown by a file changed behind the record's back (same size, file and
    // times): the window takes it, since it reads nothing.
    const std::string installer = Installer();
    FileTimes before;
    ASSERT_TRUE(ReadFileTimes(installer, before));
    std::string forged = m_package.installer;
    forged[0] = static_cast<char>(forged[0] ^ 1);
    {
        std::fstream file(installer, std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(file.write(forged.data(), static_cast<std::streamsize>(forged.size())));
    }
    ASSERT_TRUE(RestoreFileTimes(installer, before));
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ShowPreparedPackage(*m_state);
    EXPECT_TRUE(InstallEnabled()) << "the recorded installer is not read at start";

    // Changed (a new modification time): not enabled by the window; the
    // worker reads it, finds it false, and joins it again.
    WriteFile(installer, forged);
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ShowPreparedPackage(*m_state);
    EXPECT_FALSE(InstallEnabled());
    EXPECT_EQ(ReadFile(installer), forged) << "nothing removed on the window's side";
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(installer), m_package.installer);
    EXPECT_TRUE(InstallEnabled());
    EXPECT_TRUE(m_messages.Texts().empty());

    // A right installer without its record is read once by the worker and
    // recorded, with nothing fetched or joined.
    std::remove((PackageFolder() / "7.7/velmora.exe.checked").c_str());
    const std::size_t logged = m_items.Log().size();
    Restart();
    ASSERT_EQ(Prepare(), 1);
    ShowPreparedPackage(*m_state);
    EXPECT_FALSE(InstallEnabled());
    EXPECT_EQ(Download(), 0);
    EXPECT_TRUE(InstallEnabled());
    EXPECT_TRUE(FileExists(PackageFolder() / "7.7/velmora.exe.checked"));
    const std::vector<std::string> log = m_items.Log();
    for (std::size_t i = logged; i < log.size(); ++i) {
        EXPECT_EQ(log[i].find(text::kMergingParts), std::string::npos) << "joined again";
    }
    ExpectNothingLost("installers");
}

TEST_F(CompletionTest, OwnNamesInAnotherLetterCaseAreNoPartNames) {
    // On a file system that ignores case, as every Windows disk does, a part
    // "PkgIndex.txt" would be the resume state.
    for (const char* name : {"PkgIndex.txt", "VELMORA.EXE", "Velmora.Lock", "SHA256sums"}) {
        Fresh();
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt",
                  std::string("1\n7.7\n2\n8192\nvelmora.001\n0\n") + name + "\n0\n");
        EXPECT_EQ(Prepare(), 0) << name;
        EXPECT_EQ(OnlyKindAndPath(),
                  std::pair(FailureKind::IndexMalformed, PackageFolder() / "pkgindex.txt"))
            << name;
    }
    // Nor may two parts differ in case only.
    Fresh();
    WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt",
              "1\n7.7\n2\n8192\nvelmora.001\n0\nVelmora.001\n0\n");
    EXPECT_EQ(Prepare(), 0);
    ExpectNothingLost("names in another case");
}

TEST_F(CompletionTest, ClosingDuringTheHashOfALargePartialPartEndsAtOnce) {
    // A partial part of nearly 2 GiB, a sparse file that takes a second or
    // more to hash: closing must not wait for it, nor lose it.
    const long long partSize = 2147483647;
    PublishTwoLargeParts(partSize);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    const std::string partial = PackageFolder() / "7.7/big.001";
    const long long have = partSize - 4096;
    WriteFile(partial, "");
    ASSERT_TRUE(SetFileSize(partial, have));

    m_state->OnDownload();
    // The worker is hashing once it has put the part's name up.
    WaitFor([&] { return m_items.Get(res::IDC_PART_LABEL).text == "big.001"; },
            "the worker to start on the large part");
    const auto start = std::chrono::steady_clock::now();
    m_state->StopAndJoin();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("closed during the hash of %lld bytes in %lld ms\n", have,
                static_cast<long long>(took.count()));
    EXPECT_EQ(QueryFileSize(partial), have) << "the partial part is kept for the next run";
    EXPECT_EQ(m_server.CountRequests("/download/quindle7/big.001"), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(CompletionTest, StopWhileAnUnrecordedInstallerIsCheckedJoinsNothing) {
    // Every part recorded, an installer of nearly 2 GiB (sparse) without the
    // record of its check: the worker hashes it. Stop must end that, and no
    // join may start in its place, which only closing could end.
    const long long partSize = 1073741823;
    PublishTwoLargeParts(partSize);
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    m_state->m_index.m_parts[0].m_done = 1;
    m_state->m_index.m_parts[1].m_done = 1;
    ASSERT_EQ(m_state->m_index.Save(), 1);
    const long long size = 2 * partSize;
    WriteFile(Installer(), "");
    ASSERT_TRUE(SetFileSize(Installer(), size));

    const std::size_t logged = m_items.Log().size();
    m_state->OnDownload();
    // Both parts passed as recorded: the worker is on the installer.
    WaitFor([&] { return m_state->m_progressOverall.GetPos() == 2; },
            "the worker to reach the installer");
    m_state->OnStop();
    WaitForWorker();
    EXPECT_EQ(m_state->m_nWorkerResult.load(), 0);
    EXPECT_TRUE(m_messages.Texts().empty()) << OnlyMessage();
    const std::vector<std::string> log = m_items.Log();
    for (std::size_t i = logged; i < log.size(); ++i) {
        EXPECT_EQ(log[i].find(text::kMergingParts), std::string::npos) << "a join started";
    }
    EXPECT_EQ(QueryFileSize(Installer()), size) << "nothing decided, nothing removed";
}

}  // namespace
