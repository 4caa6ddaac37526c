#include <gtest/gtest.h>

#include <set>

#include "framework/file_utils.h"
#include "framework/resource_ids.h"
#include "support/engine_fixture.h"
#include "support/platform_files.h"
#include "support/wait.h"

namespace {

using Fault = TestHttpServer::Fault;

constexpr int kPartSize = 16384;

class WorkerTest : public EngineTest {
  protected:
    PublishedPackage Publish(PackageId id = kPackageMain, std::size_t parts = 6) {
        return PublishPackage(m_serverRoot.Path(), id, "7.4", kPartSize,
                              (parts - 1) * kPartSize + 1000, static_cast<unsigned>(id + 3));
    }
    // The resume state as stored on disk.
    PackageIndex StoredState(const PublishedPackage& package) {
        PackageIndex stored;
        IndexLoadError error = CannotOpen;
        EXPECT_EQ(stored.Load(VersionFolder(package) / "pkgindex.txt", error), 1);
        return stored;
    }
    static int DoneCount(const PackageIndex& index) {
        int done = 0;
        for (const auto& part : index.m_parts) {
            done += part.m_done;
        }
        return done;
    }
    // A run whose first part failed twice and whose third attempt is held in
    // a stall: the worker is provably inside its last attempt.
    void StartInTheThirdAttempt() {
        const PublishedPackage package = Publish();
        m_server.SetFault(package.RemotePath(0), Fault{.status = 500, .times = 2});
        m_server.AddFault(package.RemotePath(0), Fault{.stallAfterBytes = 10});
        EXPECT_EQ(Prepare(), 1);
        m_state->OnDownload();
        EXPECT_TRUE(WaitFor([&] { return m_server.CountRequests(package.RemotePath(0)) == 3; },
                            "the third attempt"));
    }
};

TEST_F(WorkerTest, DownloadsEachPackageIntoItsFolderAndJoinsIt) {
    for (PackageId id : {kPackageMain, kPackageTobrin, kPackageVessa}) {
        NewState();
        g_currentPackage = id;
        const PublishedPackage package = Publish(id);
        ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
        m_server.ClearRequests();
        ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());

        EXPECT_EQ(ReadFile(Installer(package, id)), package.installer) << id;
        EXPECT_TRUE(m_messages.Texts().empty());
        for (std::size_t i = 0; i < package.partNames.size(); ++i) {
            EXPECT_EQ(m_server.CountRequests(package.RemotePath(i)), 1) << package.partNames[i];
        }
        EXPECT_EQ(m_state->m_progressOverall.GetPos(),
                  static_cast<int>(package.partNames.size()) + 1);
        EXPECT_FALSE(m_items.Get(res::IDC_PART_LABEL).visible);
        EXPECT_FALSE(m_items.Get(res::IDC_PROGRESS_PART).visible);
        EXPECT_TRUE(m_items.Get(res::IDC_INSTALL).enabled);
        const auto log = m_items.Log();
        EXPECT_NE(std::find(log.begin(), log.end(), "text 1002 Merging Parts"), log.end());
        EXPECT_NE(std::find(log.begin(), log.end(), "text 1002 velmora.003"), log.end());
        EXPECT_EQ(DoneCount(StoredState(package)), static_cast<int>(package.partNames.size()));
        // The Download command switched to the running state; the worker leaves it.
        EXPECT_FALSE(m_items.Get(res::IDC_DOWNLOAD).enabled);
        EXPECT_TRUE(m_items.Get(res::IDC_STOP).enabled);
    }
}

// Straight to the server, the files share a connection until a request
// fails: the site list, the index and the checksum list that is not there,
// then the parts up to one cut off, then the rest.
TEST_F(WorkerTest, AWholeDownloadGoesOverOneKeptConnection) {
    m_server.SetKeepAlive(true);
    m_state->SetProxy("");
    m_state->m_connection.ConnectTo(m_server.Address());
    const PublishedPackage package = Publish();
    PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
    m_server.SetFault(package.RemotePath(3), Fault{.closeAfterBytes = 5000, .times = 1});
    ASSERT_EQ(Prepare(), 1) << testing::PrintToString(m_messages.Texts());
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    const auto requests = m_server.Requests();
    std::set<std::uint64_t> connections;
    for (const auto& request : requests) {
        EXPECT_TRUE(request.keepAlive) << request.path;
        EXPECT_EQ(request.host, "download.velmora.example") << request.path;
        connections.insert(request.connection);
    }
    EXPECT_GE(requests.size(), package.partNames.size() + 3);
    EXPECT_EQ(connections.size(), 3u);
    EXPECT_EQ(requests.front().connection, m_server.Requests()[2].connection);
    EXPECT_EQ(requests.back().connection, m_server.Requests()[requests.size() - 3].connection);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(3)), 2);
}

TEST_F(WorkerTest, APartThatFailsTwiceIsFetchedOnTheThirdAttempt) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(2),
                      Fault{.status = 503, .body = "<html>busy</html>", .times = 2});
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(2)), 3);
    EXPECT_EQ(ReadFile(VersionFolder(package) / "velmora.003"), package.PartBytes(2));
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(WorkerTest, APartThatFailsThreeTimesEndsTheRun) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(1), Fault{.status = 404, .body = "<html>gone</html>"});
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::PartGaveUp});
    EXPECT_EQ(m_messages.Failures()[0].cause->kind, FailureKind::FailedToConnect);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(1)), 3);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(2)), 0) << "later parts are not tried";
    const PackageIndex stored = StoredState(package);
    EXPECT_EQ(stored.m_parts[0].m_done, 1);
    EXPECT_EQ(stored.m_parts[1].m_done, 0);
    EXPECT_FALSE(FileExists(VersionFolder(package) / "velmora.002")) << "no error page stored";
    EXPECT_FALSE(FileExists(Installer(package)));
}

TEST_F(WorkerTest, StopEndsTheRunAndDownloadResumesAtTheFirstUnfinishedPart) {
    const PublishedPackage package = Publish(kPackageMain, 8);
    m_server.SetFault(package.RemotePath(3),
                      Fault{.dripIntervalMs = 20, .dripBytes = 512, .times = 1});
    ASSERT_EQ(Prepare(), 1);
    m_state->OnDownload();
    ASSERT_TRUE(WaitFor(
        [&] {
            return m_server.CountRequests(package.RemotePath(3)) > 0 &&
                   m_state->m_progressPart.GetPos() > 0;
        },
        "the fourth part to arrive"));
    m_state->OnStop();
    EXPECT_TRUE(m_items.Get(res::IDC_DOWNLOAD).enabled);
    EXPECT_FALSE(m_items.Get(res::IDC_STOP).enabled);
    WaitForWorker();
    EXPECT_EQ(m_state->m_nWorkerResult.load(), 0);
    EXPECT_TRUE(m_messages.Texts().empty()) << "a stop is not an error";
    EXPECT_EQ(m_state->m_progressPart.GetPos(), 0) << "the part bar is reset before the stop check";
    EXPECT_EQ(DoneCount(StoredState(package)), 3);

    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m_server.CountRequests(package.RemotePath(i)), 1)
            << "finished parts are not fetched again";
    }
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(3)), 2);
}

TEST_F(WorkerTest, StopDuringTheThirdAttemptReportsTheSecondAttemptsError) {
    StartInTheThirdAttempt();
    ASSERT_FALSE(HasFailure());
    m_state->OnStop();
    WaitForWorker();
    EXPECT_EQ(m_state->m_nWorkerResult.load(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::PartGaveUp});
    EXPECT_EQ(m_messages.Failures()[0].cause->kind, FailureKind::FailedToConnect);
}

TEST_F(WorkerTest, DownloadIsRefusedWhileAWorkerIsRecorded) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(0), Fault{.stallAfterBytes = 10, .times = 1});
    ASSERT_EQ(Prepare(), 1);
    m_state->OnDownload();
    ASSERT_TRUE(WaitFor([&] { return m_server.CountRequests(package.RemotePath(0)) > 0; },
                        "the first part to be asked for"));
    m_state->OnStop();
    m_state->OnDownload();  // Download is enabled again, the worker still runs
    EXPECT_EQ(m_messages.Kinds(), std::vector{FailureKind::PreviousDownloadCleaningUp});
    EXPECT_NE(m_state->m_bStop.load(), 0) << "the stop flag stays set under the running worker";
    WaitForWorker();
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(0)), 1);

    m_messages.Clear();
    ASSERT_EQ(Download(), 0) << "once the worker has ended, Download starts again";
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
}

TEST_F(WorkerTest, AWrongSizedPartIsFoundByTheJoinAndFetchedAgain) {
    const PublishedPackage package = Publish();
    m_server.SetFault(
        package.RemotePath(2),
        Fault{.body = package.PartBytes(2).substr(1), .replaceBody = true, .times = 1});
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 9);
    const std::string part = VersionFolder(package) / "velmora.003";
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::IncorrectSize});
    EXPECT_EQ(m_messages.Failures()[0].path, part);
    EXPECT_FALSE(FileExists(part));
    EXPECT_FALSE(FileExists(Installer(package)));

    m_messages.Clear();
    m_server.ClearRequests();
    ASSERT_EQ(Download(), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(m_server.Requests().size(), 1u);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(2)), 1);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
}

TEST_F(WorkerTest, AnInstallerOfTheCompleteSizeIsKeptAShorterOneJoinedAgain) {
    const PublishedPackage package = Publish();
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    m_server.ClearRequests();
    const std::size_t threshold = (package.partNames.size() - 1) * kPartSize;

    WriteFile(Installer(package), std::string(threshold, 'X'));
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(ReadFile(Installer(package)), std::string(threshold, 'X')) << "taken as finished";

    WriteFile(Installer(package), std::string(threshold - 1, 'X'));
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer) << "one byte short: joined again";

    RemoveFile(Installer(package));
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    EXPECT_TRUE(m_server.Requests().empty()) << "every part was done: no network";
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(WorkerTest, AResumeStateThatCannotBeSavedEndsTheRunWithAMessage) {
    const PublishedPackage package = Publish();
    ASSERT_EQ(Prepare(), 1);
    const std::string resume = VersionFolder(package) / "pkgindex.txt";
    ASSERT_TRUE(MakeFolder(resume + ".tmp"));
    ASSERT_EQ(Download(), 9);
    ASSERT_EQ(m_messages.Kinds(), std::vector{FailureKind::ResumeStateNotWritten});
    EXPECT_EQ(m_messages.Failures()[0].path, resume);
    EXPECT_EQ(DoneCount(StoredState(package)), 0) << "the stored state is the old one, intact";
    EXPECT_EQ(m_state->m_index.m_parts[0].m_done, 1) << "the fetched part stays done in memory";

    rmdir((resume + ".tmp").c_str());
    m_messages.Clear();
    m_server.ClearRequests();
    ASSERT_EQ(Download(), 0);
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(0)), 0);
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
}

TEST_F(WorkerTest, ClosingCutsTheRetryPauseShortAndShowsNothing) {
    const PublishedPackage package = Publish();
    m_server.SetFault(package.RemotePath(0), Fault{.status = 503});
    m_state->m_nRetryPauseMs = 10 * 60 * 1000;  // were it not cut short, the test would time out
    ASSERT_EQ(Prepare(), 1);
    m_state->OnDownload();
    ASSERT_TRUE(WaitFor([&] { return m_server.CountRequests(package.RemotePath(0)) > 0; },
                        "the first part to be asked for"));
    m_state->StopAndJoin();
    EXPECT_FALSE(m_state->IsDownloading());
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(m_server.CountRequests(package.RemotePath(0)), 1);
}

TEST_F(WorkerTest, ClosingDuringTheLastAttemptShowsNothing) {
    StartInTheThirdAttempt();
    ASSERT_FALSE(HasFailure());
    // The window is going away: the attempt that ends now is the last one,
    // and its failure must not raise a box over a window that is gone.
    m_state->StopAndJoin();
    EXPECT_FALSE(m_state->IsDownloading());
    EXPECT_TRUE(m_messages.Texts().empty()) << testing::PrintToString(m_messages.Texts());
}

// The engine's own count of the package's bytes, read from here while the
// second part is held mid-way by a stall. Only the stop ends a held attempt,
// so what is read is what arrived, not what a failed attempt left.
TEST_F(WorkerTest, BytesDoneFollowsThePartOnItsWayAndEndsAtThePackagesSize) {
    const PublishedPackage package = Publish(kPackageMain, 4);
    const std::string second = package.RemotePath(1);
    const std::int64_t before = kPartSize;  // the first part, done
    const auto rangeAsked = [&](std::size_t request) {
        std::vector<std::string> ranges;
        for (const auto& r : m_server.Requests()) {
            if (r.path == second) {
                ranges.push_back(r.range);
            }
        }
        return request < ranges.size() ? ranges[request] : "(none)";
    };

    // Cut short at 5000 bytes, then continued from there and held 3000 on.
    m_server.SetFault(second, Fault{.closeAfterBytes = 5000, .times = 1});
    m_server.AddFault(second, Fault{.stallAfterBytes = 3000, .times = 1});
    ASSERT_EQ(Prepare(), 1);
    m_state->m_limits.stallMs = 60 * 60 * 1000;
    m_state->m_limits.slowWindowMs = 0;
    m_state->OnDownload();
    EXPECT_TRUE(WaitFor([&] { return m_state->BytesDone() == before + 8000; },
                        "the continued part to count 8000 bytes"));
    EXPECT_EQ(rangeAsked(1), "bytes=5000-");
    EXPECT_EQ(m_state->PackageBytes(), 4 * kPartSize) << "the last part counts whole until there";
    m_state->OnStop();
    WaitForWorker();
    EXPECT_EQ(m_state->BytesDone(), before + QueryFileSize(VersionFolder(package) / "velmora.002"))
        << "stopped: what is on disk";

    // Without checksums the next run starts the part again; cut short at
    // 6000, it asks for the rest, gets the whole part and is held 2000 in.
    m_server.ClearRequests();
    m_server.SetFault(second, Fault{.closeAfterBytes = 6000, .times = 1});
    m_server.AddFault(second, Fault{.stallAfterBytes = 2000, .ignoreRange = true, .times = 1});
    m_state->OnDownload();
    EXPECT_TRUE(WaitFor(
        [&] {
            return m_server.CountRequests(second) == 2 && m_state->BytesDone() == before + 2000;
        },
        "the part started again from zero to count 2000 bytes"));
    EXPECT_EQ(rangeAsked(1), "bytes=6000-");
    m_state->OnStop();
    WaitForWorker();

    m_server.ClearFaults();
    ASSERT_EQ(Download(), 0) << testing::PrintToString(m_messages.Texts());
    EXPECT_EQ(ReadFile(Installer(package)), package.installer);
    const auto size = static_cast<std::int64_t>(package.installer.size());
    EXPECT_EQ(m_state->BytesDone(), size);
    EXPECT_EQ(m_state->PackageBytes(), size) << "the last part's own size once it is there";
}

}  // namespace
