#pragma once

// A main dialog in a package folder of its own, talking through the proxy
// setting to a loopback server that publishes into a folder of its own.

#include <gtest/gtest.h>

#include "framework/file_utils.h"
#include "framework/resource_ids.h"
#include "gui_helpers.h"
#include "support/package_fixture.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "ui/main_dialog.h"
#include "widgets/message_boxes.h"

class MainDialogTest : public testing::Test {
  protected:
    MainDialogTest() : m_server(m_serverRoot.Path()) { g_currentPackage = kPackageMain; }
    ~MainDialogTest() override { g_currentPackage = kPackageMain; }

    std::unique_ptr<MainDialog> MakeDialog() {
        auto dialog = std::make_unique<MainDialog>();
        dialog->m_download.m_strProgramPath = m_packageFolder / "VELMORA_QUINDLE_7";
        dialog->m_download.SetProxy(m_server.Address());
        dialog->m_download.m_nRetryPauseMs = 20;
        return dialog;
    }
    PublishedPackage Publish(PackageId id = kPackageMain, std::size_t parts = 6,
                             int partSize = 16384) {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        return PublishPackage(m_serverRoot.Path(), id, "7.6", partSize,
                              (parts - 1) * partSize + 700, static_cast<unsigned>(id + 20));
    }
    std::string VersionFolder(PackageId id = kPackageMain) const {
        return AppendVoiceFolder(id, m_packageFolder / "7.6");
    }
    static bool Enabled(MainDialog& dialog, int id) { return dialog.IsItemEnabled(id); }
    static bool Visible(MainDialog& dialog, int id) { return dialog.IsItemVisible(id); }
    static Dialog::ProgressShown Bar(MainDialog& dialog, int id) {
        return dialog.GetProgressShown(id);
    }
    // Chooses a window menu entry as a user does: the menu has it, and the
    // command runs once the menu's own handling is over.
    static void ChooseMenuEntry(MainDialog& dialog, int command) {
        ASSERT_NE(dialog.GetSystemMenu(), nullptr);
        for (const WindowMenu::Entry& entry : dialog.GetSystemMenu()->Entries()) {
            if (entry.flags == WindowMenu::kString && entry.id == command) {
                dialog.ChooseWindowMenuEntry(command);
                ProcessUiEvents();
                return;
            }
        }
        FAIL() << "no menu entry " << command;
    }
    static std::vector<std::pair<std::string, bool>> MenuEntries(MainDialog& dialog) {
        std::vector<std::pair<std::string, bool>> entries;
        for (const auto& entry : dialog.GetSystemMenu()->Entries()) {
            entries.emplace_back(entry.flags == WindowMenu::kSeparator ? "-" : entry.text,
                                 entry.checked);
        }
        return entries;
    }
    void WaitForWorker(MainDialog& dialog) {
        WaitUntil([&] { return !dialog.m_download.IsDownloading(); }, "the worker to end");
    }

    TempDir m_serverRoot;
    TestHttpServer m_server;
    TempDir m_packageFolder;
    MessageRecorder m_messages{ShownOnUiThread};
};
