#pragma once

// A main dialog in a package folder of its own, talking through the proxy
// setting to a loopback server that publishes into a folder of its own.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProgressBar>

#include <gtest/gtest.h>

#include "framework/file_utils.h"
#include "framework/resource_ids.h"
#include "gui_helpers.h"
#include "support/package_fixture.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "ui/main_dialog.h"
#include "widgets/qt_message_box.h"

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
    static bool Enabled(MainDialog& dialog, int id) { return dialog.GetDlgItem(id)->isEnabled(); }
    static bool Visible(MainDialog& dialog, int id) { return !dialog.GetDlgItem(id)->isHidden(); }
    static QProgressBar* Bar(MainDialog& dialog, int id) {
        return qobject_cast<QProgressBar*>(dialog.GetDlgItem(id));
    }
    // Chooses a window menu entry as a user does: opens the menu, picks it.
    static void ChooseMenuEntry(MainDialog& dialog, int command) {
        QMenu* menu = dialog.OpenWindowMenu(dialog.mapToGlobal(QPoint(5, 5)));
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->data().toInt() == command) {
                action->trigger();
                menu->close();
                // The command runs once the menu has closed.
                QApplication::sendPostedEvents();
                return;
            }
        }
        FAIL() << "no menu entry " << command;
    }
    static std::vector<std::pair<std::string, bool>> MenuEntries(MainDialog& dialog) {
        std::vector<std::pair<std::string, bool>> entries;
        for (const auto& entry : dialog.GetSystemMenu()->Entries()) {
            entries.emplace_back(
                entry.flags == WindowMenu::kSeparator ? "-" : entry.text.toStdString(),
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
