// The window opens within three minutes whatever the server does. Here it
// drips each file so that it takes three tenths of the budget, within each
// fetch's own deadline, with the maker's key built in (the checksums and
// their signature join the index in each preparation): the first of the two
// preparations that run before the window opens succeeds after nine tenths
// of the budget, and the second must end with what is left instead of
// taking as long again. The normal run scales the bound down;
// VELMORA_REAL_BOUNDS=1 (ctest -L long) runs it as it stands.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "main_dialog_fixture.h"
#include "support/test_key.h"

namespace {

class StartUpBoundTest : public MainDialogTest {};

TEST_F(StartUpBoundTest, ASlowServerStillLetsTheWindowOpenWithinTheBound) {
    const bool real = std::getenv("VELMORA_REAL_BOUNDS") != nullptr;
    const TestKey key;
    PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
    const PublishedPackage package =
        PublishPackage(m_serverRoot.Path(), kPackageMain, "7.6", 1024, 300 * 1024, 7);
    PublishChecksums(m_serverRoot.Path(), package, kPackageMain, &key);
    auto dialog = MakeDialog();
    dialog->m_download.m_strPublicKey = key.publicLine;
    if (!real) {
        dialog->m_download.m_listLimits.deadlineMs = 2000;
        dialog->m_download.m_nPreparationBudgetMs = 5000;
    }
    const long perFileMs = dialog->m_download.m_nPreparationBudgetMs * 3 / 10;
    ASSERT_LT(perFileMs, dialog->m_download.m_listLimits.deadlineMs);
    constexpr int kDripMs = 100;
    for (const char* name : {"pkgindex.txt", "SHA256SUMS", "SHA256SUMS.minisig"}) {
        const std::string path = package.serverFolder + "/" + name;
        const std::size_t size = ReadFile(m_serverRoot.Path() + path).size();
        const std::size_t drips = static_cast<std::size_t>(perFileMs / kDripMs);
        m_server.SetFault(path, TestHttpServer::Fault{.dripIntervalMs = kDripMs,
                                                      .dripBytes = (size + drips - 1) / drips});
    }
    const auto start = std::chrono::steady_clock::now();
    bool opened = false;
    RunModal(*dialog, [&] {
        opened = dialog->IsOpen();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("the window opened after %.1f s (budget %.0f s, each file %.1f s)\n", seconds,
                    dialog->m_download.m_nPreparationBudgetMs / 1000.0, perFileMs / 1000.0);
    });
    EXPECT_TRUE(opened);
    // The first preparation succeeded; the second ran out of time, said so
    // with the connection advice, and leaves the next Download to prepare.
    const std::vector<std::string> messages = m_messages.Texts();
    ASSERT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
    EXPECT_NE(messages[0].find("please click the Proxy button"), std::string::npos) << messages[0];
    EXPECT_EQ(dialog->m_download.m_bNeedPrepare, 1);
}

}  // namespace
