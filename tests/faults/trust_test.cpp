// The program tried as an attacker would: a server (or anyone on the path to
// it) that chooses hostile names, sizes, bodies and timing, and a package
// folder that already holds links, FIFOs and other people's files. Every
// case ends with a clear message, nothing blocks, and nothing outside the
// package folder changes.

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <thread>

#include "catalogue/package_files.h"
#include "engine/download_cleanup.h"
#include "faults/fault_fixture.h"
#include "support/platform_files.h"
#include "support/wait.h"

namespace {

namespace fs = std::filesystem;

class TrustTest : public FaultTest {
  protected:
    void PublishIndex(const std::string& content) {
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt", content);
    }
    // Someone else's files outside the package folder, part of what must not change.
    void AddOutside(const std::string& name, const std::string& content) {
        WriteFile(m_sandbox / ("outside/" + name), content);
        m_outsideBefore = Outside();
    }
    std::string Version() const { return PackageFolder() / "7.7"; }
    static bool IsFifo(const std::string& path) {
        std::error_code ec;
        return fs::symlink_status(path, ec).type() == fs::file_type::fifo;
    }
    static bool IsLink(const std::string& path) {
        std::error_code ec;
        return fs::symlink_status(path, ec).type() == fs::file_type::symlink;
    }
    static std::pair<FailureKind, std::string> Foreign(const std::string& folder) {
        return {FailureKind::ForeignFolder, folder};
    }
};

// The package folder is the user's home: a version ".ssh" with a part
// "authorized_keys" would replace their key, a version "bin" their tools.
TEST_F(TrustTest, ADotFolderVersionAndAnExistingForeignFolderAreRefused) {
    WriteFile(PackageFolder() / ".ssh/authorized_keys", "the user's key");
    WriteFile(m_serverRoot / "download/quindle7/authorized_keys", "the attacker's key");
    PublishIndex("1\n.ssh\n1\n10\nauthorized_keys\n0\n");
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(OnlyKindAndPath(),
              std::pair(FailureKind::IndexMalformed, PackageFolder() / "pkgindex.txt"));
    EXPECT_EQ(ReadFile(PackageFolder() / ".ssh/authorized_keys"), "the user's key");

    m_messages.Clear();
    WriteFile(PackageFolder() / "bin/tool", "the user's tool");
    fs::permissions(PackageFolder() / "bin/tool", fs::perms(0755));
    WriteFile(m_serverRoot / "download/quindle7/tool", "the attacker's tool");
    PublishIndex("1\nbin\n1\n10\ntool\n0\n");
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(OnlyKindAndPath(), Foreign(PackageFolder() / "bin"));
    EXPECT_EQ(ReadFile(PackageFolder() / "bin/tool"), "the user's tool");
    EXPECT_EQ(DeleteDownloadFiles(*m_state), 0) << "Cleanup has no folder to clean";
    EXPECT_EQ(ReadFile(PackageFolder() / "bin/tool"), "the user's tool");
    EXPECT_EQ(ReadFile(PackageFolder() / ".ssh/authorized_keys"), "the user's key");
    ExpectNothingLost("foreign folders");
}

TEST_F(TrustTest, ASymlinkedVersionFolderIsRefusedAndASwappedOneRedirectsNothing) {
    AddOutside("victim/velmora.001", "the user's data");
    if (!MakeSymbolicLink(m_sandbox / "outside/victim", Version())) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(OnlyKindAndPath(), Foreign(Version()));
    EXPECT_EQ(DeleteDownloadFiles(*m_state), 0);
    ExpectNothingLost("a link at the version folder");

    // Swapped for a link after the preparation: the download goes on in the
    // folder that was opened, and Cleanup cleans that one.
    Fresh();
    ASSERT_EQ(Prepare(), 1);
    const std::string moved = PackageFolder() / "7.7-moved";
    ASSERT_EQ(rename(Version().c_str(), moved.c_str()), 0);
    if (!MakeSymbolicLink(m_sandbox / "outside/victim", Version())) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(moved / "velmora.exe"), m_package.installer);
    EXPECT_EQ(DeleteDownloadFiles(*m_state), 1);
    EXPECT_FALSE(FileExists(moved / "velmora.exe"));
    EXPECT_FALSE(FileExists(moved / "pkgindex.txt"));
    EXPECT_EQ(ReadFile(m_sandbox / "outside/victim/velmora.001"), "the user's data");
    ExpectNothingLost("a version folder swapped for a link");
}

TEST_F(TrustTest, AHardLinkAtEveryWrittenNameLeavesTheLinkedFileAlone) {
    ASSERT_EQ(Prepare(), 1);
    const std::string resume = ReadFile(Version() / "pkgindex.txt");
    // The resume state's link holds a valid resume state, the installer's a
    // short file: both are what the program would find there anyway.
    const std::pair<std::string, std::string> names[] = {
        {PackageFolder() / "sites.txt", "someone's sites"},
        {PackageFolder() / "pkgindex.txt", "someone's index"},
        {Version() / "pkgindex.txt", resume},
        {Version() / "pkgindex.txt.tmp", "someone's temporary file"},
        {Part(0), "someone's part"},
        {Version() / "velmora.exe.partial", "someone's partial file"},
        {Version() / "velmora.exe", "someone's program"},
    };
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const std::string outside = "linked" + std::to_string(i);
        AddOutside(outside, names[i].second);
        RemoveFile(names[i].first);
        ASSERT_TRUE(MakeHardLink(m_sandbox / ("outside/" + outside), names[i].first))
            << names[i].first;
    }
    NewState();
    m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
    ASSERT_EQ(Prepare(), 1) << OnlyMessage();
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(ReadFile(Installer()), m_package.installer);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(ReadFile(m_sandbox / ("outside/linked" + std::to_string(i))), names[i].second)
            << names[i].first;
    }
    ExpectNothingLost("hard links");
}

TEST_F(TrustTest, AFifoAtAnyOfTheProgramsNamesBlocksNothing) {
    const std::string cannotCreate = "Cannot create file: ";
    const struct {
        const char* name;        // below the package folder
        bool beforePreparation;  // else after a successful one
        int prepared;
        int downloaded;  // -1: no download
        std::string message;
    } cases[] = {
        {"sites.txt", true, 1, 0, ""},
        {"pkgindex.txt", true, 0, -1, cannotCreate + PackageFolder() / "pkgindex.txt\r\n\r\n"},
        {"7.7/pkgindex.txt", true, 0, -1, cannotCreate + Version() / "pkgindex.txt"},
        {"7.7/pkgindex.txt.tmp", true, 0, -1, cannotCreate + Version() / "pkgindex.txt"},
        {"7.7/velmora.002", false, 1, 9, cannotCreate + Part(1) + kPleaseTryLater},
        {"7.7/velmora.exe.partial", false, 1, 9, "Cannot create output file"},
        {"7.7/velmora.exe", false, 1, 0, ""},
    };
    for (const auto& c : cases) {
        Fresh();
        const std::string path = PackageFolder() + kPathSeparator + c.name;
        fs::create_directories(fs::path(path).parent_path());
        if (!c.beforePreparation) {
            ASSERT_EQ(Prepare(), 1) << c.name;
        }
        if (!MakeFifo(path)) {
            GTEST_SKIP() << kNoFifos;
        }
        if (c.beforePreparation) {
            EXPECT_EQ(Prepare(), c.prepared) << c.name;
        }
        if (c.downloaded >= 0) {
            EXPECT_EQ(Download(), c.downloaded) << c.name;
        }
        const std::string message = m_messages.Texts().empty() ? "" : m_messages.Texts()[0];
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.name;
        EXPECT_LE(m_messages.Texts().size(), 1u) << c.name;
        EXPECT_TRUE(IsFifo(path) || c.downloaded == 0) << c.name << ": the FIFO stays";
        ExpectNothingLost(c.name);
    }
}

TEST_F(TrustTest, AnEndlessBodyIsCutAtThePartSizeAndLeavesNoFile) {
    m_server.SetFault(m_package.RemotePath(2),
                      Fault{.omitContentLength = true, .endlessBody = true});
    ASSERT_EQ(Prepare(), 1);
    // The package folder's size, sampled all through the download.
    std::atomic<bool> running{true};
    std::atomic<long long> largest{0};
    std::thread sampler([&] {
        while (running) {
            long long total = 0;
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(PackageFolder(), ec);
                 !ec && it != fs::end(it); it.increment(ec)) {
                total += it->is_regular_file(ec) ? static_cast<long long>(it->file_size(ec)) : 0;
            }
            largest = std::max(largest.load(), total);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const int result = Download();
    running = false;
    sampler.join();
    EXPECT_EQ(result, 9);
    EXPECT_EQ(OnlyMessage(),
              "The server sent more than 8192 bytes for this file; what arrived was discarded." +
                  std::string(kPleaseTryLater));
    EXPECT_FALSE(FileExists(Part(2)));
    // Two parts, what little of the third was kept in flight, the indexes.
    const long long bound = static_cast<long long>(m_package.installer.size()) + 3 * 4096;
    EXPECT_LE(largest.load(), bound);
    std::printf("endless body: the package folder held at most %lld bytes (bound %lld)\n",
                largest.load(), bound);
    ExpectNothingLost("endless body");
}

TEST_F(TrustTest, ATransferCodingBombAnd204And206AreNoPart) {
    const std::string bomb =
        "HTTP/1.0 200 OK\r\nTransfer-Encoding: gzip, gzip\r\nConnection: close\r\n\r\n" +
        std::string(kGarbage, sizeof kGarbage - 1);
    const struct {
        const char* name;
        Fault fault;
        std::string message;
    } cases[] = {
        {"gzip, gzip", Fault{.rawResponse = bomb},
         "The server sent the file in a transfer coding this program does not accept (gzip, "
         "gzip)."},
        {"204", Fault{.status = 204},
         "The server answered with status 204 instead of sending the file."},
        {"206", Fault{.status = 206, .body = m_package.PartBytes(1)},
         "The server answered with status 206 instead of sending the file."},
    };
    for (const auto& c : cases) {
        Fresh();
        m_server.SetFault(m_package.RemotePath(1), c.fault);
        ASSERT_EQ(Prepare(), 1);
        EXPECT_EQ(Download(), 9) << c.name;
        EXPECT_EQ(OnlyMessage(), c.message + kPleaseTryLater) << c.name;
        EXPECT_FALSE(FileExists(Part(1))) << c.name;
        EXPECT_FALSE(FileExists(Installer())) << c.name;
        ExpectNothingLost(c.name);
    }
}

TEST_F(TrustTest, AnOversizedLastPartIsRefusedWhenFetchedAndWhenJoined) {
    const int last = static_cast<int>(m_package.partNames.size()) - 1;
    m_server.SetFault(m_package.RemotePath(static_cast<std::size_t>(last)),
                      Fault{.body = std::string(kPartSize + 1, 'L'), .replaceBody = true});
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 9);
    EXPECT_EQ(OnlyMessage(),
              "The server sent more than 8192 bytes for this file; what arrived was discarded." +
                  std::string(kPleaseTryLater));
    ExpectNothingLost("a last part too long from the server");

    // Too long on disk: the join says so, and the next run fetches it again.
    m_server.ClearFaults();
    m_messages.Clear();
    ASSERT_EQ(Download(), 0) << OnlyMessage();
    RemoveFile(Installer());
    WriteFile(Part(last), std::string(kPartSize + 1, 'L'));
    NewState();
    m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 9);
    EXPECT_EQ(OnlyKindAndPath(), std::pair(FailureKind::IncorrectSize, Part(last)));
    m_messages.Clear();
    m_server.ClearRequests();
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(m_server.Requests().size(), 1u);
    ExpectNothingLost("a last part too long on disk");
}

TEST_F(TrustTest, ASlowDripOnTheIndexOrTheSiteListCannotHoldThePreparation) {
    const std::string index = "/download/quindle7/pkgindex.txt";
    // Below the stall limit, so only the deadline ends it.
    m_state->m_listLimits = {.stallMs = 1000, .slowWindowMs = 0, .deadlineMs = 2000};
    m_server.SetFault(index, Fault{.dripIntervalMs = 700, .dripBytes = 1});
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(
        OnlyMessage().rfind(
            "The server did not send the whole file within 2 seconds.\r\n\r\nIn most cases", 0),
        0u)
        << OnlyMessage();
    ExpectNothingLost("a drip on the index, deadline");

    // Steady enough never to stall, too slow to be waited for.
    Fresh();
    m_state->m_listLimits = {.stallMs = 1000, .slowWindowMs = 1000};
    m_server.SetFault(index, Fault{.dripIntervalMs = 300, .dripBytes = 10});
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(
        OnlyMessage().rfind("The server sent less than 512 bytes per second for 1 second; the "
                            "connection was given up.\r\n\r\n",
                            0),
        0u)
        << OnlyMessage();

    // The site list fails silently: the primary host is used.
    Fresh();
    m_state->m_listLimits = {.stallMs = 1000, .slowWindowMs = 0, .deadlineMs = 2000};
    m_server.SetFault(kSiteListRemotePath, Fault{.dripIntervalMs = 700, .dripBytes = 1});
    EXPECT_EQ(Prepare(), 1);
    EXPECT_TRUE(m_messages.Texts().empty()) << OnlyMessage();
    EXPECT_EQ(m_state->m_strHost, "download.velmora.example");
    ExpectNothingLost("a drip on the site list");
}

TEST_F(TrustTest, IndexesOf40000AndAMillionPartsAreReadAndOneMoreIsRefused) {
    for (const int count : {40000, kMaxParts, kMaxParts + 1}) {
        Fresh();
        std::string content = "1\n7.7\n" + std::to_string(count) + "\n8192\n";
        content.reserve(content.size() + static_cast<std::size_t>(count) * 14);
        char name[32];
        for (int i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, "p%07d\n0\n", i);
            content += name;
        }
        PublishIndex(content);
        if (count <= kMaxParts) {
            EXPECT_EQ(Prepare(), 1) << count << ": " << OnlyMessage();
            EXPECT_EQ(m_state->m_index.m_parts.size(), static_cast<std::size_t>(count));
        } else {
            EXPECT_EQ(Prepare(), 0);
            EXPECT_EQ(OnlyKindAndPath(),
                      std::pair(FailureKind::IndexMalformed, PackageFolder() / "pkgindex.txt"));
        }
    }
}

TEST_F(TrustTest, NoProxyDoesNotSendARequestAroundTheDialogsProxy) {
    for (const char* bypass : {"download.velmora.example", "*"}) {
        Fresh();
        SetEnvironment("no_proxy", bypass);
        const int prepared = Prepare();
        UnsetEnvironment("no_proxy");
        EXPECT_EQ(prepared, 1) << bypass << ": " << OnlyMessage();
        EXPECT_EQ(m_server.CountRequests("/download/quindle7/pkgindex.txt"), 1) << bypass;
    }
}

TEST_F(TrustTest, AResumeStateThatCannotBeReadIsNeverReplaced) {
    // A link and a FIFO at its name.
    AddOutside("state", "1\n7.7\n0\n8192\n");
    for (const bool fifo : {false, true}) {
        Fresh();
        fs::create_directories(Version());
        const std::string resume = Version() / "pkgindex.txt";
        if (!(fifo ? MakeFifo(resume) : MakeSymbolicLink(m_sandbox / "outside/state", resume))) {
            GTEST_SKIP() << (fifo ? kNoFifos : kNoSymbolicLinks);
        }
        EXPECT_EQ(Prepare(), 0);
        EXPECT_EQ(OnlyKindAndPath(), std::pair(FailureKind::CannotCreateFile, resume));
        EXPECT_TRUE(fifo ? IsFifo(resume) : IsLink(resume));
        ExpectNothingLost(fifo ? "a FIFO at the resume state" : "a link at the resume state");
    }

    // Unreadable to the user: it holds the done flags, so it stays.
#ifndef _WIN32
    Fresh();
    chmod(PackageFolder().c_str(), 0777);
    fs::create_directories(Version());
    chmod(Version().c_str(), 0777);
    const std::string resume = Version() / "pkgindex.txt";
    const std::string stored = "1\n7.7\n1\n8192\nvelmora.001\n1\n";
    WriteFile(resume, stored);
    chmod(resume.c_str(), 0);
    if (getuid() != 0) {
        ASSERT_EQ(chown(resume.c_str(), getuid(), getgid()), 0);
    }
    const ChildResult result = RunHeadless(-1, true);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.errorText, "Velmora Quindle: Cannot create file: " + resume + "\n");
    chmod(resume.c_str(), 0644);
    EXPECT_EQ(ReadFile(resume), stored);
#endif
}

TEST_F(TrustTest, APartTheJoinFindsWrongIsFetchedAgainAfterARestart) {
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::string message;
    } cases[] = {
        {"cut short on arrival",
         [&] {
             m_server.SetFault(
                 m_package.RemotePath(2),
                 Fault{.body = m_package.PartBytes(2).substr(9), .replaceBody = true, .times = 1});
         },
         "Incorrect size: " + Part(2) + " Please click download again"},
        {"a folder where the part was",
         [&] {
             ASSERT_EQ(Download(), 0);
             RemoveFile(Installer());
             RemoveFile(Part(2));
             ASSERT_TRUE(MakeFolder(Part(2)));
         },
         "Cannot open input file: " + Part(2) + " Please click download again"},
    };
    for (const auto& c : cases) {
        Fresh();
        ASSERT_EQ(Prepare(), 1);
        c.spoil();
        m_messages.Clear();
        // A restart, not the next Download of the same run.
        NewState();
        m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
        ASSERT_EQ(Prepare(), 1);
        EXPECT_EQ(Download(), 9) << c.name;
        EXPECT_EQ(OnlyMessage(), c.message) << c.name;
        PackageIndex stored;
        IndexLoadError error = CannotOpen;
        ASSERT_EQ(stored.Load(Version() / "pkgindex.txt", error), 1);
        EXPECT_EQ(stored.m_parts[2].m_done, 0) << c.name << ": the cleared flag is on disk";

        rmdir(Part(2).c_str());
        NewState();
        m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
        ASSERT_EQ(Prepare(), 1);
        m_server.ClearRequests();
        m_messages.Clear();
        EXPECT_EQ(Download(), 0) << c.name << ": " << OnlyMessage();
        EXPECT_EQ(m_server.Requests().size(), 1u) << c.name << ": only that part again";
        ExpectNothingLost(c.name);
    }
}

TEST_F(TrustTest, ASymlinkAtTheInstallerIsNotTakenForIt) {
    AddOutside("fake", std::string(m_package.installer.size(), 'F'));
    ASSERT_EQ(Prepare(), 1);
    ASSERT_EQ(Download(), 0);
    RemoveFile(Installer());
    if (!MakeSymbolicLink(m_sandbox / "outside/fake", Installer())) {
        GTEST_SKIP() << kNoSymbolicLinks;
    }
    NewState();
    m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_FALSE(IsLink(Installer()));
    EXPECT_EQ(ReadFile(Installer()), m_package.installer);
    ExpectNothingLost("a link at the installer");
}

TEST_F(TrustTest, EscapesInAPartNameAreSentAsTheyStand) {
    WriteFile(m_serverRoot / "download/quindle7/xAy", "escaped");
    PublishIndex("1\n7.7\n1\n8192\nx%41y\n0\n");
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Download(), 0) << OnlyMessage();
    EXPECT_EQ(m_server.Requests().back().target,
              "http://download.velmora.example/download/quindle7/x%41y");
    EXPECT_EQ(ReadFile(Version() / "x%41y"), "escaped");
}

}  // namespace
