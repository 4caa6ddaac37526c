// Ends the main window in each of the five ways a user can (the close box,
// Alt+F4, the window menu's Close, Done, Escape) while a download runs: in
// the middle of a part, in the pause after a failed attempt, while the
// resume state is saved part after part, and during the join. Every end
// must come promptly, without a crash (run it under the sanitizers) and
// with every recorded part intact.
//
// VELMORA_CLOSING_TRIALS sets the trials per way (20 by default).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "framework/file_utils.h"
#include "framework/resource_ids.h"
#include "gui_helpers.h"
#include "support/package_fixture.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "ui/main_dialog.h"
#include "widgets/message_boxes.h"
#include "window_driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using Fault = TestHttpServer::Fault;

enum class Way { CloseBox, AltF4, MenuClose, Done, Escape };
enum class Phase { Part, Pause, Save, Join };

const char* Name(Way way) {
    switch (way) {
        case Way::CloseBox:
            return "close box";
        case Way::AltF4:
            return "Alt+F4";
        case Way::MenuClose:
            return "window menu's Close";
        case Way::Done:
            return "Done";
        case Way::Escape:
            return "Escape";
    }
    return "";
}

const char* Name(Phase phase) {
    switch (phase) {
        case Phase::Part:
            return "a part";
        case Phase::Pause:
            return "a retry pause";
        case Phase::Save:
            return "saves";
        case Phase::Join:
            return "the join";
    }
    return "";
}

void End(MainDialog& dialog, Way way) {
    switch (way) {
        case Way::CloseBox:
            dialog.CloseWindow();
            break;
        case Way::AltF4:
            PressKey(dialog, Key::AltF4);
            break;
        case Way::MenuClose: {
            dialog.ChooseWindowMenuEntry(res::SC_CLOSE);
            break;
        }
        case Way::Done:
            Click(dialog, res::IDOK);
            break;
        case Way::Escape:
            PressKey(dialog, Key::Escape);
            break;
    }
}

class ClosingStressTest : public testing::Test {
  protected:
    ClosingStressTest() : m_server(m_serverRoot.Path()) {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        g_currentPackage = kPackageMain;
    }

    // Each phase has a package of its own, published under its own folder.
    PublishedPackage Publish(Phase phase) {
        const int partSize = phase == Phase::Save ? 64 : phase == Phase::Join ? 131072 : 16384;
        const std::size_t parts = phase == Phase::Save ? 2000 : phase == Phase::Join ? 60 : 8;
        const PublishedPackage published =
            PublishPackage(m_serverRoot.Path(), kPackageMain, "7.3", partSize,
                           (parts - 1) * static_cast<std::size_t>(partSize) + 10, 40);
        const std::string folder = "/phase" + std::to_string(static_cast<int>(phase));
        PublishedPackage package = published;
        package.serverFolder = folder;
        std::error_code ec;
        std::filesystem::remove_all(m_serverRoot.Path() + folder, ec);
        std::filesystem::rename(m_serverRoot.Path() + published.serverFolder,
                                m_serverRoot.Path() + folder, ec);
        return package;
    }

    // Waits, with the window's events running, until the worker is where
    // the phase wants it.
    bool ReachPhase(MainDialog& dialog, Phase phase, const PublishedPackage& package) {
        switch (phase) {
            case Phase::Part:
            case Phase::Pause:
                return WaitUntil([&] { return m_server.CountRequests(package.RemotePath(2)) > 0; },
                                 "the third part to be asked for");
            case Phase::Save:
                return WaitUntil([&] { return m_server.CountRequests(package.RemotePath(50)) > 0; },
                                 "fifty parts saved");
            case Phase::Join:
                return WaitUntil(
                    [&] {
                        return dialog.GetDlgItemText(res::IDC_PART_LABEL) == "Merging Parts" ||
                               !dialog.m_download.IsDownloading();
                    },
                    "the join");
        }
        return false;
    }

    // What a run may leave: a resume state that parses, every part it
    // records as done the published part, and no installer but the right one.
    void ExpectNothingLost(const std::string& folder, const PublishedPackage& package,
                           const std::string& what) {
        PackageIndex stored;
        IndexLoadError error = CannotOpen;
        ASSERT_EQ(stored.Load(folder + "/pkgindex.txt", error), 1) << what;
        for (std::size_t i = 0; i < stored.m_parts.size(); ++i) {
            if (stored.m_parts[i].m_done != 0) {
                ASSERT_EQ(ReadFile(folder + "/" + package.partNames[i]), package.PartBytes(i))
                    << what << ": " << package.partNames[i];
            }
        }
        if (FileExists(folder + "/velmora.exe")) {
            EXPECT_EQ(ReadFile(folder + "/velmora.exe"), package.installer) << what;
        }
    }

    TempDir m_serverRoot;
    TestHttpServer m_server;
    MessageRecorder m_messages{ShownOnUiThread};
};

TEST_F(ClosingStressTest, EveryWayOfEndingDuringEveryPhaseEndsPromptlyWithNothingLost) {
    const char* configured = std::getenv("VELMORA_CLOSING_TRIALS");
    const int trials = configured != nullptr ? std::atoi(configured) : 20;
    const Phase phases[] = {Phase::Part, Phase::Pause, Phase::Save, Phase::Join};
    PublishedPackage packages[4];
    for (const Phase phase : phases) {
        packages[static_cast<int>(phase)] = Publish(phase);
    }
    int ended = 0;
    int joinsCut = 0;
    double slowest = 0;
    for (const Way way : {Way::CloseBox, Way::AltF4, Way::MenuClose, Way::Done, Way::Escape}) {
        for (int trial = 0; trial < trials; ++trial) {
            const Phase phase = phases[trial % 4];
            const PublishedPackage& package = packages[static_cast<int>(phase)];
            const std::string what = std::string(Name(way)) + " during " + Name(phase) +
                                     ", trial " + std::to_string(trial);
            m_server.ClearFaults();
            m_server.ClearRequests();
            if (phase == Phase::Part) {
                m_server.SetFault(package.RemotePath(2), Fault{.stallAfterBytes = 3000});
            } else if (phase == Phase::Pause) {
                m_server.SetFault(package.RemotePath(2), Fault{.status = 503});
            }
            TempDir folder;
            auto dialog = std::make_unique<MainDialog>();
            dialog->m_download.m_strProgramPath = folder / "VELMORA_QUINDLE_7";
            dialog->m_download.m_strServerFolder = package.serverFolder;
            dialog->m_download.SetProxy(m_server.Address());
            // Were the pause not cut short by the end, the trial would hang.
            dialog->m_download.m_nRetryPauseMs = 10 * 60 * 1000;
            Clock::time_point asked;
            RunModal(*dialog, [&] {
                Click(*dialog, res::IDC_DOWNLOAD);
                ASSERT_TRUE(ReachPhase(*dialog, phase, package)) << what;
                joinsCut += phase == Phase::Join && dialog->m_download.IsDownloading() ? 1 : 0;
                asked = Clock::now();
                End(*dialog, way);
                // The menu's command arrives once the menu has closed.
                WaitUntil([&] { return !dialog->IsOpen(); }, what + ": the window to end");
            });
            slowest =
                std::max(slowest, std::chrono::duration<double>(Clock::now() - asked).count());
            EXPECT_FALSE(dialog->m_download.IsDownloading()) << what;
            dialog.reset();
            ExpectNothingLost(folder / "7.3", package, what);
            EXPECT_TRUE(m_messages.Texts().empty()) << what << ": " << m_messages.Texts().size();
            m_messages.Clear();
            ++ended;
        }
    }
    std::printf(
        "closing: %d ends in 5 ways, %d of them during a running join; the slowest took "
        "%.3f s\n",
        ended, joinsCut, slowest);
}

}  // namespace
