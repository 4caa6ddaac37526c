#pragma once

// The sandbox every fault case runs in: a package folder beside a folder of
// someone else's files, which no case may change.

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "framework/failure.h"
#include "framework/file_utils.h"
#include "support/child_process.h"
#include "support/engine_fixture.h"

using Fault = TestHttpServer::Fault;

inline constexpr int kPartSize = 8192;
// The start of a program file, NUL bytes included.
inline constexpr char kGarbage[] =
    "\x7f"
    "ELF\x02\x01\x01\0\0\0garbage\xff\xfe";
inline constexpr char kPleaseTryLater[] = " Please try later";

inline bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The package folder lies in a sandbox beside a folder of someone else's
// files; after every case the sandbox outside the package folder must be as
// it was.
class FaultTest : public EngineTest {
  protected:
    FaultTest() {
        // Reachable for an unprivileged child.
        std::filesystem::permissions(m_sandbox.Path(), std::filesystem::perms(0755));
        WriteFile(m_sandbox / "outside/precious", "not to be touched");
        m_outsideBefore = Outside();
        m_package = PublishPackage(m_serverRoot.Path(), kPackageMain, "7.7", kPartSize,
                                   5 * kPartSize + 99, 5);
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        Fresh();
    }
    // The state goes before the sandbox that holds its folders: Windows
    // removes no folder that is held open.
    ~FaultTest() override { m_state.reset(); }

    // A new package folder and download state, prepared.
    void Fresh() {
        // The last state holds the folder, which Windows does not remove.
        m_state.reset();
        std::error_code ec;
        std::filesystem::remove_all(PackageFolder(), ec);
        std::filesystem::create_directories(PackageFolder(), ec);
        NewState();
        m_state->m_strProgramPath = PackageFolder() / "VELMORA_QUINDLE_7";
        m_state->m_limits.stallMs = 1000;
        m_server.ClearFaults();
        m_server.ClearRequests();
        m_messages.Clear();
    }
    std::string PackageFolder() const { return m_sandbox / "package"; }
    std::string Part(int i) const {
        return PackageFolder() / "7.7/" + m_package.partNames[static_cast<std::size_t>(i)];
    }
    std::string Installer() const { return PackageFolder() / "7.7/velmora.exe"; }

    std::vector<std::string> Outside() const {
        std::vector<std::string> outside;
        for (const std::string& entry : m_sandbox.Listing()) {
            if (entry.rfind("package", 0) != 0) {
                outside.push_back(entry);
            }
        }
        return outside;
    }
    // What every case must leave: the sandbox outside the package folder as
    // it was, and the stored resume state (where the program wrote one: a
    // regular file) readable.
    void ExpectNothingLost(const std::string& what) {
        EXPECT_EQ(Outside(), m_outsideBefore) << what;
        EXPECT_EQ(ReadFile(m_sandbox / "outside/precious"), "not to be touched") << what;
        PackageIndex stored;
        IndexLoadError error = CannotOpen;
        std::error_code ec;
        if (std::filesystem::symlink_status(PackageFolder() / "7.7/pkgindex.txt", ec).type() ==
            std::filesystem::file_type::regular) {
            EXPECT_EQ(stored.Load(PackageFolder() / "7.7/pkgindex.txt", error), 1) << what;
            for (std::size_t i = 0; i < stored.m_parts.size(); ++i) {
                if (stored.m_parts[i].m_done == 0) {
                    continue;
                }
                const std::string part = Part(static_cast<int>(i));
                EXPECT_TRUE(FileExists(part)) << what << ": " << part << " recorded done, missing";
                if (FileExists(part)) {
                    EXPECT_EQ(ReadFile(part), m_package.PartBytes(i))
                        << what << ": a part recorded as done is not the published part";
                }
            }
        }
        if (FileExists(Installer())) {
            EXPECT_EQ(ReadFile(Installer()), m_package.installer) << what << ": a wrong installer";
        }
    }
    std::string OnlyMessage() const {
        const auto texts = m_messages.Texts();
        return texts.size() == 1 ? texts[0] : "(" + std::to_string(texts.size()) + " messages)";
    }
    // The one failure reported, with its subjects; a Stopped one, which is
    // never reported, when there was not exactly one.
    Failure OnlyFailure() const {
        const auto failures = m_messages.Failures();
        return failures.size() == 1 ? failures[0] : Failure(FailureKind::Stopped);
    }
    // The one failure's kind and path, as a pair to compare at once.
    std::pair<FailureKind, std::string> OnlyKindAndPath() const {
        const Failure failure = OnlyFailure();
        return {failure.kind, failure.path};
    }
    ChildResult RunHeadless(long fileSizeLimit = -1, bool unprivileged = false) {
        return RunChild(
            {VELMORA_HEADLESS_DOWNLOAD, m_state->m_strProgramPath, m_server.Address(), "20"}, 022,
            unprivileged, fileSizeLimit);
    }

    TempDir m_sandbox;
    std::vector<std::string> m_outsideBefore;
    PublishedPackage m_package;
};
