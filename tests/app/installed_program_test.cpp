#include "app/installed_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "../ui/gui_helpers.h"
#include "app/desktop_shortcut.h"
#include "app/launcher.h"
#include "app/program_start.h"
#include "framework/build_config.h"
#include "framework/file_utils.h"
#include "framework/folder_lock.h"
#include "support/temp_dir.h"
#include "ui/folder_dialog.h"

namespace {

std::string InUseText(const std::string& folder) {
    return "Velmora Quindle is already running for the folder " + folder +
           ". Please continue in its window, or close that window and start Velmora Quindle "
           "again.";
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

ino_t InodeOfHandle(const HeldCopy& copy) {
    EntryInfo info;
    return StatFile(copy.file, info) ? static_cast<ino_t>(info.identity.file) : 0;
}

TEST(InstalledProgramTest, OnlyTheInstalledFolderCounts) {
    const struct {
        const char* module;
        bool installed;
        const char* prefix;
    } cases[] = {
        {"/usr/lib/velmora-quindle/VELMORA_QUINDLE_7", true, "/usr"},
        {"/lib/velmora-quindle/VELMORA_QUINDLE_7", true, ""},
        {"/home/u/VelmoraDownload/VELMORA_QUINDLE_7", false, ""},
        {"/usr/lib/velmora-quindle/old/VELMORA_QUINDLE_7", false, ""},
        {"/usr/lib/xvelmora-quindle/VELMORA_QUINDLE_7", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        std::string prefix = "untouched";
        EXPECT_EQ(IsInstalledProgram(c.module, prefix), c.installed) << c.module;
        EXPECT_EQ(prefix, c.installed ? c.prefix : "untouched") << c.module;
    }
}

TEST(InstalledProgramTest, TheIconCountsWhenTheInstallHasIt) {
    TempDir prefix;
    const std::string icons = prefix / "share/icons/hicolor/scalable/apps";
    EXPECT_EQ(InstalledIconName(prefix.Path()), "");
    WriteFile(icons + "/" + config::kAppId + ".svg/inside", "");
    EXPECT_EQ(InstalledIconName(prefix.Path()), "") << "a folder is no icon";
    TempDir other;
    WriteFile(other / "share/icons/hicolor/scalable/apps/" + config::kAppId + ".svg", "<svg/>");
    EXPECT_EQ(InstalledIconName(other.Path()), config::kAppId);
}

// An installed program in a prefix of the test's own, its copy in a package
// folder of the test's home.
class InstalledStartTest : public testing::Test {
  protected:
    InstalledStartTest() {
        WriteFile(m_module, "#!/bin/sh\necho installed program, release 2\n");
        chmod(m_module.c_str(), 0755);
        WriteFile(m_desktop + "/.keep", "");
    }

    // Runs `start`; when `answer` is given, the folder dialog must open and
    // is answered with it, otherwise no dialog may open.
    std::string Run(const std::function<std::string()>& start,
                    const std::function<void(FolderDialog&)>& answer = {}) {
        std::string result;
        const bool opened = AnswerModals<FolderDialog>([&] { result = start(); }, answer);
        EXPECT_EQ(opened, static_cast<bool>(answer));
        return result;
    }
    // The start of the installed program as start-up runs it, the copy found
    // through the launchers in the test's folders.
    std::string StartInstalled(const std::function<void(FolderDialog&)>& answer = {}) {
        return Run(
            [this] {
                return InstalledCopyToRun(
                           m_module,
                           FindPackageCopy(
                               m_module,
                               {ReadLauncherTarget(LauncherPlace::ApplicationsMenu, m_menu),
                                ReadLauncherTarget(LauncherPlace::Desktop, m_desktop)}))
                    .path;
            },
            answer);
    }
    static void AcceptDefault(FolderDialog& dialog) { Click(dialog, 1); }

    TempDir m_root;
    ScopedHome m_scopedHome{m_root / "home"};
    const std::string m_module = m_root / "usr/lib/velmora-quindle/VELMORA_QUINDLE_7";
    const std::string m_folder = m_root / "home/VelmoraDownload";
    const std::string m_copy = m_folder + "/VELMORA_QUINDLE_7";
    const std::string m_desktop = m_root / "home/Desktop";
    const std::string m_menu = m_root / "home/.local/share/applications";
    MessageRecorder m_messages;
};

TEST_F(InstalledStartTest, OnlyACopyTheProgramCouldHaveMadeIsFound) {
    WriteFile(m_copy, "an older release");
    WriteFile(m_root / "elsewhere/VELMORA_QUINDLE_7", "someone's file");
    WriteFile(m_root / "linked/.keep", "");
    ASSERT_EQ(symlink((m_root / "elsewhere/VELMORA_QUINDLE_7").c_str(),
                      (m_root / "linked/VELMORA_QUINDLE_7").c_str()),
              0);
    WriteFile(m_root / "other/setup", "a program of another name");
    // Where others may write: the copy itself, or the folder it lies in.
    WriteFile(m_root / "open-file/VELMORA_QUINDLE_7", "anyone's to change");
    chmod((m_root / "open-file/VELMORA_QUINDLE_7").c_str(), 0666);
    WriteFile(m_root / "open-folder/VELMORA_QUINDLE_7", "anyone's to replace");
    chmod((m_root / "open-folder").c_str(), 0777);
    WriteFile(m_root / "folder/VELMORA_QUINDLE_7/inside", "");
    ASSERT_EQ(mkdir((m_root / "hard").c_str(), 0755), 0);
    ASSERT_EQ(link(m_module.c_str(), (m_root / "hard/VELMORA_QUINDLE_7").c_str()), 0);
    const struct {
        const char* what;
        std::string target;
    } refused[] = {
        {"nothing", ""},
        {"a missing file", m_root / "gone/VELMORA_QUINDLE_7"},
        {"a link", m_root / "linked/VELMORA_QUINDLE_7"},
        {"another name", m_root / "other/setup"},
        {"the installed program", m_module},
        {"the installed program by another name", m_root / "hard/VELMORA_QUINDLE_7"},
        {"a folder", m_root / "folder/VELMORA_QUINDLE_7"},
        {"a file others may write", m_root / "open-file/VELMORA_QUINDLE_7"},
        {"a file in a folder others may write", m_root / "open-folder/VELMORA_QUINDLE_7"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(FindPackageCopy(m_module, {r.target}).IsHeld()) << r.what;
        EXPECT_EQ(FindPackageCopy(m_module, {r.target, m_copy}).path, m_copy) << r.what;
    }
}

TEST_F(InstalledStartTest, AChangedProgramReplacesTheCopyAndAnUnchangedOneLeavesIt) {
    // The same size, other bytes: no size alone decides.
    const std::string older = "#!/bin/sh\necho installed program, release 1\n";
    ASSERT_EQ(older.size(), ReadFile(m_module).size());
    WriteFile(m_copy, older);
    chmod(m_copy.c_str(), 0644);
    HeldCopy copy = HoldPackageCopy(m_copy);
    EXPECT_EQ(RefreshPackageCopy(m_module, copy), CopyRefresh::Replaced);
    EXPECT_EQ(ReadFile(m_copy), ReadFile(m_module));
    EXPECT_EQ(InodeOf(m_copy), InodeOfHandle(copy)) << "the new copy is the one held";
    struct stat st {};
    ASSERT_EQ(stat(m_copy.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "the copy can be run";

    const ino_t inode = InodeOf(m_copy);
    copy = HoldPackageCopy(m_copy);
    EXPECT_EQ(RefreshPackageCopy(m_module, copy), CopyRefresh::Current);
    EXPECT_EQ(InodeOf(m_copy), inode) << "an up-to-date copy was written again";

    WriteFile(m_copy, "short");
    copy = HoldPackageCopy(m_copy);
    EXPECT_EQ(RefreshPackageCopy(m_module, copy), CopyRefresh::Replaced);
    EXPECT_EQ(ReadFile(m_copy), ReadFile(m_module));
}

TEST_F(InstalledStartTest, ACopyRunningForItsFolderIsNeitherReplacedNorStartedAgain) {
    WriteFile(m_copy, "the running release");
    FolderLock running;
    ASSERT_TRUE(running.Lock(m_folder, "velmora.lock"));
    HeldCopy copy = HoldPackageCopy(m_copy);
    EXPECT_EQ(RefreshPackageCopy(m_module, copy), CopyRefresh::InUse);
    EXPECT_EQ(ReadFile(m_copy), "the running release");
    EXPECT_TRUE(m_messages.Texts().empty());

    EXPECT_EQ(Run([this] { return InstalledCopyToRun(m_module, HoldPackageCopy(m_copy)).path; }),
              "")
        << "nothing to start";
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{InUseText(m_folder)});
    EXPECT_EQ(ReadFile(m_copy), "the running release");
}

// The first start asks and copies; the next ones find the copy through the
// launchers the first one wrote, and a launcher whose copy went (or became a
// link) counts as none.
TEST_F(InstalledStartTest, TheFirstStartAsksAndLaterOnesStartTheCopyTheLaunchersName) {
    EXPECT_EQ(StartInstalled(AcceptDefault), m_copy);
    EXPECT_EQ(ReadFile(m_copy), ReadFile(m_module));
    CreateDesktopShortcut(m_copy, m_desktop, m_menu);

    WriteFile(m_module, "#!/bin/sh\necho installed program, release 3\n");
    EXPECT_EQ(StartInstalled(), m_copy) << "asked again";
    EXPECT_EQ(ReadFile(m_copy), ReadFile(m_module));

    // Only the desktop's launcher is left: it is enough.
    unlink((m_menu + "/velmora-quindle-7.desktop").c_str());
    EXPECT_EQ(StartInstalled(), m_copy);

    // Asked again, and nothing is written through the link. The installed
    // program never runs where it lies: it says what it could not make.
    const std::string moved = m_root / "moved";
    ASSERT_EQ(rename(m_copy.c_str(), moved.c_str()), 0);
    ASSERT_EQ(symlink(moved.c_str(), m_copy.c_str()), 0);
    const std::string before = ReadFile(moved);
    m_messages.Clear();
    int asked = 0;
    EXPECT_EQ(StartInstalled([&](FolderDialog& dialog) {
                  // Asked again after the failed copy: Cancel starts nothing.
                  if (asked++ == 0) {
                      AcceptDefault(dialog);
                  } else {
                      dialog.EndDialog(2);
                  }
              }),
              "");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ReadFile(moved), before);
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Velmora Quindle could not be copied to " + m_copy +
                                       ": something that is not a file has that name\n\nPlease "
                                       "choose another folder for the package."});

    unlink(m_copy.c_str());
    EXPECT_EQ(StartInstalled(AcceptDefault), m_copy) << "a missing copy was not made again";
}

// A copy whose folder's lock cannot be had is neither checked nor replaced,
// so it is not started: the user chooses a package folder again.
TEST_F(InstalledStartTest, ACopyThatCannotBeCheckedIsNotStarted) {
    WriteFile(m_copy, "a release nobody checked");
    ASSERT_EQ(mkdir((m_folder + "/velmora.lock").c_str(), 0700), 0);
    HeldCopy copy = HoldPackageCopy(m_copy);
    EXPECT_EQ(RefreshPackageCopy(m_module, copy), CopyRefresh::Failed);
    const std::string other = m_root / "home/Other";
    EXPECT_EQ(Run([this] { return InstalledCopyToRun(m_module, HoldPackageCopy(m_copy)).path; },
                  [&](FolderDialog& dialog) {
                      dialog.m_strFolder = other;
                      dialog.EndDialog(1);
                  }),
              other + "/VELMORA_QUINDLE_7");
    EXPECT_EQ(ReadFile(other + "/VELMORA_QUINDLE_7"), ReadFile(m_module));
    EXPECT_EQ(ReadFile(m_copy), "a release nobody checked");
}

// Another user who may write to a folder above the copy could swap the copy
// between its check and its start: nothing there is started, and the user
// chooses a package folder again.
TEST_F(InstalledStartTest, ACopyBelowAFolderOthersMayChangeIsNotStarted) {
    EXPECT_EQ(StartInstalled(AcceptDefault), m_copy);
    CreateDesktopShortcut(m_copy, m_desktop, m_menu);
    ASSERT_EQ(chmod((m_root / "home").c_str(), 0777), 0);
    const std::string other = m_root / "Other";
    EXPECT_EQ(StartInstalled([&](FolderDialog& dialog) {
                  dialog.m_strFolder = other;
                  dialog.EndDialog(1);
              }),
              other + "/VELMORA_QUINDLE_7");

    // A folder chosen there is refused after the copy, and said so.
    m_messages.Clear();
    EXPECT_EQ(StartInstalled(AcceptDefault), "");
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{
                  "Other users of this computer can change the folder " + m_folder +
                  " or a folder above it, so Velmora Quindle does not open or start a program "
                  "from there. Please move the package folder into a folder of your own."});
    ASSERT_EQ(chmod((m_root / "home").c_str(), 0700), 0);
}

// What runs is the file that was checked, whatever its path names by the
// time it starts.
TEST_F(InstalledStartTest, TheHeldCopyStartsEvenWhenItsPathNamesAnotherFileByThen) {
    const std::string marker = m_root / "ran";
    const auto script = [&](const std::string& who) {
        return "#!/bin/sh\necho " + who + " > '" + marker + "'\n";
    };
    WriteFile(m_copy, script("checked"));
    chmod(m_copy.c_str(), 0700);
    const HeldCopy copy = HoldPackageCopy(m_copy);
    ASSERT_TRUE(copy.IsHeld());
    WriteFile(m_root / "swapped", script("swapped"));
    chmod((m_root / "swapped").c_str(), 0700);
    ASSERT_EQ(rename((m_root / "swapped").c_str(), m_copy.c_str()), 0);

    ASSERT_TRUE(StartProgramFile(copy.folder, copy.file, copy.path));
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(marker) == "checked\n"; }, "the copy to run"))
        << ReadFile(marker);
}

}  // namespace
