#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/download_preparation.h"
#include "engine/download_state.h"
#include "framework/headless_dialog_items.h"
#include "support/package_fixture.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

// A package folder, a server publishing into its own folder, and the
// download state of a main dialog without a window, talking to the server
// through the proxy setting.
class EngineTest : public testing::Test {
  protected:
    EngineTest();
    ~EngineTest() override;

    // The state's fresh copy, as after a restart of the program.
    void NewState();
    int Prepare() { return PrepareDownload(*m_state); }
    // Download command, then waits for the worker; returns its result.
    int Download();
    void WaitForWorker();

    std::string ProgramFolder() const { return m_packageFolder.Path(); }
    std::string VersionFolder(const PublishedPackage& package, PackageId id = kPackageMain) const {
        return AppendVoiceFolder(id, ProgramFolder() + kPathSeparator + package.version);
    }
    std::string Installer(const PublishedPackage& package, PackageId id = kPackageMain) const {
        return VersionFolder(package, id) / "velmora.exe";
    }

    TempDir m_serverRoot;
    TestHttpServer m_server;
    TempDir m_packageFolder;
    HeadlessDialogItems m_items;
    MessageRecorder m_messages;
    std::unique_ptr<DownloadState> m_state;
};
