#include "engine/installer_handover.h"

#include <gtest/gtest.h>

#include "catalogue/package_files.h"
#include "engine/download_cleanup.h"
#include "framework/failure_text.h"
#include "framework/file_utils.h"
#include "support/engine_fixture.h"
#include "support/platform_files.h"
#ifndef _WIN32
#include <sys/stat.h>

#include "support/loop_file_system_posix.h"
#endif

namespace {

class HandOverTest : public EngineTest {
  protected:
    // A downloaded installer in the package folder that the state names.
    PublishedPackage DownloadPackage(unsigned seed = 3) {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        const PublishedPackage package =
            PublishPackage(m_serverRoot.Path(), kPackageMain, "7.6", 4096, 3 * 4096 + 100, seed);
        EXPECT_EQ(Prepare(), 1);
        EXPECT_EQ(Download(), 0);
        return package;
    }
    std::string HandedPath() const { return PackageFolder() / ".velmora-install" / "velmora.exe"; }
    std::string PackageFolder() const { return m_state->PackageFolderPath(); }
    static FileIdentity IdentityOf(const std::string& path) {
        EntryInfo info;
        EXPECT_TRUE(StatPath(path, info)) << path;
        return info.identity;
    }
};

// The path outlives the state that made it, names the checked installer
// itself (not a copy) where the disk can, and the next hand-over of a
// rejoined installer replaces it.
TEST_F(HandOverTest, TheInstallerGetsASecondNameThatOutlivesTheProgram) {
    const PublishedPackage package = DownloadPackage();
    {
        const Result<OwnFolder> handed = HandOverInstaller(*m_state);
        ASSERT_TRUE(handed) << Render(handed.Error());
        EXPECT_EQ(handed->PathOf(kInstallerFileName), HandedPath());
    }
    EXPECT_EQ(IdentityOf(HandedPath()), IdentityOf(Installer(package)))
        << "a copy where the file system has hard links";
    NewState();
    EXPECT_EQ(ReadFile(HandedPath()), package.installer) << "gone with the program";

    // Handed over again unchanged, it is left as it is (it may be running).
    ASSERT_EQ(Prepare(), 1);
    EXPECT_TRUE(HandOverInstaller(*m_state));
    EXPECT_EQ(IdentityOf(HandedPath()), IdentityOf(Installer(package)));

    // A new installer in its place: the old name goes, the new one is handed.
    const std::string rejoined = Installer(package) + ".new";
    WriteFile(rejoined, package.installer);
    ASSERT_TRUE(RemoveFile(Installer(package)));
    ASSERT_EQ(std::rename(rejoined.c_str(), Installer(package).c_str()), 0);
    WriteFile(PackageFolder() / ".velmora-install" / "left-over", "x");
    EXPECT_TRUE(HandOverInstaller(*m_state));
    EXPECT_EQ(IdentityOf(HandedPath()), IdentityOf(Installer(package)));
    EXPECT_FALSE(FileExists(PackageFolder() / ".velmora-install" / "left-over"));

    EXPECT_EQ(DeleteDownloadFiles(*m_state), 1);
    EXPECT_FALSE(FileExists(HandedPath())) << "Cleanup leaves the handed-over installer";
    EXPECT_TRUE(FileExists(PackageFolder() / ".velmora-install")) << "the folder stays";
}

#ifndef _WIN32
TEST_F(HandOverTest, TheHandOverFolderIsTheUsersAlone) {
    DownloadPackage();
    ASSERT_TRUE(HandOverInstaller(*m_state));
    struct stat st {};
    ASSERT_EQ(lstat((PackageFolder() / ".velmora-install").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Whoever may write to the package folder, or to a folder above it, could
// put anything at the path after the program has ended.
TEST_F(HandOverTest, NothingIsHandedOverThroughAFolderOthersMayChange) {
    DownloadPackage();
    const std::string above = PackageFolder();
    const struct {
        const char* what;
        std::string folder;
        mode_t mode;
    } open[] = {
        {"the package folder", PackageFolder(), 0777},
        {"the package folder, for its group", PackageFolder(), 0770},
    };
    for (const auto& o : open) {
        ASSERT_EQ(chmod(o.folder.c_str(), o.mode), 0);
        const Result<OwnFolder> handed = HandOverInstaller(*m_state);
        ASSERT_FALSE(handed) << o.what;
        EXPECT_EQ(handed.Error().kind, FailureKind::FolderOpenToOthers) << o.what;
        EXPECT_EQ(handed.Error().path, PackageFolder()) << o.what;
        EXPECT_FALSE(FileExists(HandedPath())) << o.what;
        ASSERT_EQ(chmod(o.folder.c_str(), 0700), 0);
    }
    // A sticky folder such as /tmp keeps others from moving what is the
    // user's: the folder below it counts, not the sticky one.
    ASSERT_EQ(chmod(PackageFolder().c_str(), 01777), 0);
    const Result<OwnFolder> sticky = HandOverInstaller(*m_state);
    ASSERT_FALSE(sticky) << "a sticky package folder is still open to new names in it";
    EXPECT_EQ(sticky.Error().kind, FailureKind::FolderOpenToOthers);
    ASSERT_EQ(chmod(PackageFolder().c_str(), 0700), 0);
    EXPECT_TRUE(HandOverInstaller(*m_state));
}

// FAT and exFAT, as on a USB stick, have one name per file: the installer
// is copied, and the copy counts only when it is the installer's bytes.
// exFAT through FUSE, which every kernel here has where FAT may be missing.
TEST_F(HandOverTest, WithoutHardLinksACheckedCopyIsHandedOver) {
    const LoopFileSystem fat(
        "mkfs.exfat", 16,
        "sh -c 'mount.exfat-fuse -o umask=077 \"$(losetup -f --show \"$0\")\" \"$1\"'");
    if (!fat.Missing().empty()) {
        GTEST_SKIP() << "no exFAT file system to test on: needs " << fat.Missing();
    }
    m_state->m_strProgramPath = fat.Path() / "VELMORA_QUINDLE_7";
    const PublishedPackage package = DownloadPackage();
    const Result<OwnFolder> handed = HandOverInstaller(*m_state);
    ASSERT_TRUE(handed) << Render(handed.Error());
    EXPECT_EQ(ReadFile(HandedPath()), package.installer);
    EXPECT_NE(IdentityOf(HandedPath()), IdentityOf(PackageFolder() / "7.6/velmora.exe"));
    m_state.reset();  // lets go of the file system before it is unmounted
}
#endif

}  // namespace
