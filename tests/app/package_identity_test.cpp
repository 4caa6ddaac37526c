#include "app/package_identity.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../ui/gui_helpers.h"
#include "framework/file_utils.h"
#include "support/temp_dir.h"
#include "ui/folder_dialog.h"

namespace {

class SelfCopyTest : public testing::Test {
  protected:
    SelfCopyTest() {
        WriteFile(m_downloads + "/.keep", "");
        g_currentPackage = kPackageMain;
    }

    // A program file at `path`, with execute permission.
    std::string Program(const std::string& path) {
        WriteFile(path, "#!/bin/sh\necho program\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    // Runs the self-copy; when `answer` is given, the folder dialog must open
    // and is answered with it; otherwise no dialog may open.
    std::string Copy(const std::string& module, std::function<void(FolderDialog&)> answer = {}) {
        bool opened = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* dialog = dynamic_cast<FolderDialog*>(Dialog::ActiveModal())) {
                opened = true;
                if (answer) {
                    answer(*dialog);
                } else {
                    dialog->EndDialog(2);
                }
            }
        });
        watcher.start(5);
        const std::string result = CopyToPackageFolder(module, {m_downloads});
        EXPECT_EQ(opened, static_cast<bool>(answer)) << module;
        return result;
    }
    static void AcceptDefault(FolderDialog& dialog) { Click(dialog, 1); }

    TempDir m_home;
    ScopedHome m_scopedHome{m_home.Path()};
    std::string m_downloads = m_home / "Downloads";
    MessageRecorder m_messages;
};

TEST_F(SelfCopyTest, APathHoldingTheProgramNameRunsInPlace) {
    for (const std::string& path :
         {m_home / "any/VELMORA_QUINDLE_7", m_home / "VELMORA_QUINDLE_7/setup",
          m_downloads + "/VELMORA_QUINDLE_7.old", m_downloads + "/VELMORA_QUINDLE_7"}) {
        EXPECT_EQ(Copy(Program(path)), path);
    }
    EXPECT_FALSE(FileExists(m_home / "VelmoraDownload"));
}

TEST_F(SelfCopyTest, OutsideTheDownloadFolderItRunsInPlace) {
    const std::string elsewhere = Program(m_home / "bin/velmora-setup");
    EXPECT_EQ(Copy(elsewhere), elsewhere);
    // The download folder spelled in other letter case is another folder.
    const std::string otherCase = Program(m_home / "downloads/velmora-setup");
    EXPECT_EQ(Copy(otherCase), otherCase);
}

TEST_F(SelfCopyTest, FromTheDownloadFolderItCopiesItselfUnderTheMainName) {
    for (const char* name : {"velmora-setup", "velmora_quindle_7", "VELMORA_TTS_TOBRIN"}) {
        const std::string module = Program(m_downloads + "/" + name);
        const std::string target = m_home / "VelmoraDownload/VELMORA_QUINDLE_7";
        EXPECT_EQ(Copy(module, AcceptDefault), target) << name;
        EXPECT_EQ(ReadFile(target), ReadFile(module));
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "the copy can be run";
    }
}

TEST_F(SelfCopyTest, AnExistingCopyIsReplaced) {
    const std::string target = m_home / "VelmoraDownload/VELMORA_QUINDLE_7";
    WriteFile(target, "an older program");
    const std::string module = Program(m_downloads + "/setup");
    EXPECT_EQ(Copy(module, AcceptDefault), target);
    EXPECT_EQ(ReadFile(target), ReadFile(module));
}

TEST_F(SelfCopyTest, ACancelledDialogStillCopiesIntoTheDefaultFolder) {
    const std::string module = Program(m_downloads + "/setup");
    EXPECT_EQ(Copy(module, [](FolderDialog& dialog) { dialog.EndDialog(2); }),
              m_home / "VelmoraDownload/VELMORA_QUINDLE_7");
}

TEST_F(SelfCopyTest, AFolderThatCannotBeMadeRunsTheProgramInPlace) {
    WriteFile(m_home / "blocked", "a file where a folder should be");
    const std::string module = Program(m_downloads + "/setup");
    const std::string result = Copy(module, [&](FolderDialog& dialog) {
        dialog.m_strFolder = m_home / "blocked/packages";
        dialog.EndDialog(1);
    });
    EXPECT_EQ(result, module);
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{SystemErrorText(ENOTDIR)});
}

TEST(PackageProgramNameTest, EachPackageHasItsName) {
    EXPECT_EQ(GetPackageProgramName(0), "VELMORA_QUINDLE_7");
    EXPECT_EQ(GetPackageProgramName(1), "VELMORA_TTS_TOBRIN");
    EXPECT_EQ(GetPackageProgramName(2), "VELMORA_TTS_VESSA");
    EXPECT_EQ(GetPackageProgramName(7), "VELMORA_QUINDLE_7");
}

}  // namespace
