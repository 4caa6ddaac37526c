#include "app/package_identity.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "../ui/gui_helpers.h"
#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "ui/folder_dialog.h"

namespace {

class SelfCopyTest : public testing::Test {
  protected:
    SelfCopyTest() {
        WriteFile(m_downloads / ".keep", "");
        g_currentPackage = kPackageMain;
    }

    // A program file at `path`, with execute permission.
    std::string Program(const std::string& path) {
        WriteFile(path, "#!/bin/sh\necho program\n");
        MakeExecutable(path);
        return path;
    }
    // Runs the self-copy; when `answer` is given, the folder dialog must open
    // and is answered with it; otherwise no dialog may open.
    std::string Copy(const std::string& module, std::function<void(FolderDialog&)> answer = {}) {
        std::string result;
        const bool opened = AnswerModals<FolderDialog>(
            [&] { result = CopyToPackageFolder(module, {m_downloads}); }, answer);
        EXPECT_EQ(opened, static_cast<bool>(answer)) << module;
        return result;
    }
    static void AcceptDefault(FolderDialog& dialog) { Click(dialog, 1); }
    // The main package's program in the default package folder.
    std::string Target() const {
        return m_home / "VelmoraDownload" / GetPackageProgramName(kPackageMain);
    }

    TempDir m_home;
    ScopedHome m_scopedHome{m_home.Path()};
    std::string m_downloads = m_home / "Downloads";
    MessageRecorder m_messages;
};

TEST_F(SelfCopyTest, APathHoldingTheProgramNameRunsInPlace) {
    const std::string name = GetPackageProgramName(kPackageMain);
    for (const std::string& path : {m_home / "any" / name, m_home / name / "setup",
                                    m_downloads / name + ".old", m_downloads / name}) {
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
        const std::string module = Program(m_downloads / name);
        EXPECT_EQ(Copy(module, AcceptDefault), Target()) << name;
        EXPECT_EQ(ReadFile(Target()), ReadFile(module));
        EntryInfo copy;
        ASSERT_TRUE(StatPath(Target(), copy));
        if (HasPosixModes()) {
            EXPECT_NE(copy.permissions & 0100, 0u) << "the copy can be run";
        }
    }
    // Nobody else may change what lies in the package folder it made.
    EntryInfo folder;
    ASSERT_TRUE(StatPath(m_home / "VelmoraDownload", folder));
    EXPECT_TRUE(folder.onlyUserWrites);
    if (HasPosixModes()) {
        EXPECT_EQ(folder.permissions & 0777, 0700u);
    }
}

TEST_F(SelfCopyTest, AnExistingCopyIsReplaced) {
    WriteFile(Target(), "an older program");
    const std::string module = Program(m_downloads / "setup");
    EXPECT_EQ(Copy(module, AcceptDefault), Target());
    EXPECT_EQ(ReadFile(Target()), ReadFile(module));
}

TEST_F(SelfCopyTest, ACancelledDialogStillCopiesIntoTheDefaultFolder) {
    const std::string module = Program(m_downloads / "setup");
    EXPECT_EQ(Copy(module, [](FolderDialog& dialog) { dialog.EndDialog(2); }), Target());
}

TEST_F(SelfCopyTest, AFolderThatCannotBeMadeRunsTheProgramInPlace) {
    WriteFile(m_home / "blocked", "a file where a folder should be");
    const std::string module = Program(m_downloads / "setup");
    const std::string result = Copy(module, [&](FolderDialog& dialog) {
        dialog.m_strFolder = m_home / "blocked/packages";
        dialog.EndDialog(1);
    });
    EXPECT_EQ(result, module);
#ifdef _WIN32
    const int notAFolder = ERROR_PATH_NOT_FOUND;
#else
    const int notAFolder = ENOTDIR;
#endif
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{SystemErrorText(notAFolder)});
}

TEST(PackageProgramNameTest, EachPackageHasItsName) {
#ifdef _WIN32
    const std::string suffix = ".exe";
#else
    const std::string suffix;
#endif
    EXPECT_EQ(GetPackageProgramName(0), "VELMORA_QUINDLE_7" + suffix);
    EXPECT_EQ(GetPackageProgramName(1), "VELMORA_TTS_TOBRIN" + suffix);
    EXPECT_EQ(GetPackageProgramName(2), "VELMORA_TTS_VESSA" + suffix);
    EXPECT_EQ(GetPackageProgramName(7), "VELMORA_QUINDLE_7" + suffix);
}

}  // namespace
