#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "main_dialog_fixture.h"

namespace {

using namespace res;

constexpr char kChanged[] =
    "The installer has changed since it was checked, so it was not opened. Please click Download "
    "again.";

// A "#!" installer that writes the path it was started by into `marker`
// (whole or not at all), padded with comment lines to `size` bytes.
std::string ScriptInstaller(const std::string& marker, std::size_t size) {
    std::string script = "#!/bin/sh\nprintf '%s' \"$0\" >'" + marker + ".tmp' && mv '" + marker +
                         ".tmp' '" + marker + "'\nexit 0\n";
    while (script.size() < size) {
        const std::size_t line = std::min<std::size_t>(size - script.size(), 64);
        script += "#" + std::string(line - 1, 'x');
        script.back() = '\n';
    }
    return script;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The desktop's opener as the tests see it: it takes the address at once
// and opens the file only a moment later, as the handler of an installer
// does, by which time the user may have closed the window.
class LateOpener : public QObject {
    Q_OBJECT
  public:
    LateOpener() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~LateOpener() override { QDesktopServices::unsetUrlHandler("file"); }
    const std::vector<std::string>& Paths() const { return m_paths; }

  public slots:
    void Open(const QUrl& url) { m_paths.push_back(url.toLocalFile().toLocal8Bit().toStdString()); }

  private:
    std::vector<std::string> m_paths;
};

class InstallTest : public MainDialogTest {
  protected:
    // A package whose installer is ScriptInstaller(m_marker).
    InstallTest() {
        const PublishedPackage package = Publish(kPackageMain, 3, 4096);
        m_script = ScriptInstaller(m_marker, package.installer.size());
        for (std::size_t i = 0; i < package.partNames.size(); ++i) {
            WriteFile(m_serverRoot.Path() + package.RemotePath(i), m_script.substr(i * 4096, 4096));
        }
    }
    void Download(MainDialog& dialog) {
        Click(dialog, IDC_DOWNLOAD);
        WaitForWorker(dialog);
        ASSERT_EQ(ReadFile(Installer()), m_script);
        // The window learns it from the worker's last calls.
        ASSERT_TRUE(
            WaitUntil([&] { return Enabled(dialog, IDC_INSTALL); }, "Install to be enabled"));
    }
    std::string Installer() const { return VersionFolder() + "/velmora.exe"; }
    // The path the installer must have been started by: its second name in
    // the package folder's hand-over folder.
    std::string HandedPath() const { return m_packageFolder / ".velmora-install/velmora.exe"; }

    TempDir m_outside;
    std::string m_marker = m_outside / "installer-ran";
    std::string m_script;
};

TEST_F(InstallTest, InstallStartsTheCheckedInstallerByItsHandedOverName) {
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        ASSERT_NO_FATAL_FAILURE(Download(*dialog));
        Click(*dialog, IDC_INSTALL);
        ASSERT_TRUE(WaitUntil([&] { return FileExists(m_marker); }, "the installer to run"));
        EXPECT_EQ(ReadFile(m_marker), HandedPath());
        EXPECT_EQ(InodeOf(HandedPath()), InodeOf(Installer())) << "not the checked file";
        EXPECT_EQ(ModeOf(Installer()) & 0111, 0111u) << "made executable for all who may read it";
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{});
    });
}

// The attacker swaps, after the preparation, either the version folder or the
// installer in it for a link to a folder of theirs, whose velmora.exe would
// tell if it ran.
TEST_F(InstallTest, AVersionFolderOrInstallerSwappedForALinkIsNotOpened) {
    const std::string foreign = m_outside / "theirs/velmora.exe";
    const std::string foreignMarker = m_outside / "foreign-ran";
    WriteFile(foreign, ScriptInstaller(foreignMarker, 100));
    chmod(foreign.c_str(), 0640);
    const std::string moved = m_packageFolder / "moved";
    const struct {
        const char* what;
        std::string from, to, linkTarget;
    } attacks[] = {
        {"version folder", VersionFolder(), moved, m_outside / "theirs"},
        {"installer", Installer(), VersionFolder() + "/moved", foreign},
    };

    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        ASSERT_NO_FATAL_FAILURE(Download(*dialog));
        for (const auto& attack : attacks) {
            ASSERT_EQ(rename(attack.from.c_str(), attack.to.c_str()), 0) << attack.what;
            ASSERT_EQ(symlink(attack.linkTarget.c_str(), attack.from.c_str()), 0) << attack.what;
            m_messages.Clear();
            Click(*dialog, IDC_INSTALL);
            EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kChanged}) << attack.what;
            EXPECT_EQ(ModeOf(foreign), 0640u) << attack.what << ": made executable";
            ASSERT_EQ(unlink(attack.from.c_str()), 0);
            ASSERT_EQ(rename(attack.to.c_str(), attack.from.c_str()), 0);
        }
        // Put back, it opens again; the foreign one had its chance before.
        m_messages.Clear();
        Click(*dialog, IDC_INSTALL);
        ASSERT_TRUE(WaitUntil([&] { return FileExists(m_marker); }, "the installer to run"));
        EXPECT_TRUE(m_messages.Texts().empty());
        EXPECT_FALSE(FileExists(foreignMarker)) << "the foreign installer ran";
    });
}

// Install, then Done at once: the opener that opens the file a second later
// still finds the checked installer, after the program has let go of every
// file and folder.
TEST_F(MainDialogTest, TheInstallerHandedOverOutlivesTheWindow) {
    const PublishedPackage package = Publish(kPackageMain, 3, 4096);
    LateOpener opener;
    {
        auto dialog = MakeDialog();
        RunModal(*dialog, [&] {
            Click(*dialog, IDC_DOWNLOAD);
            WaitForWorker(*dialog);
            ASSERT_TRUE(
                WaitUntil([&] { return Enabled(*dialog, IDC_INSTALL); }, "Install to be enabled"));
            Click(*dialog, IDC_INSTALL);
            Click(*dialog, IDOK);
        });
    }
    ASSERT_EQ(opener.Paths().size(), 1u);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(ReadFile(opener.Paths().front()), package.installer);
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{});
}

}  // namespace

#include "install_test.moc"
