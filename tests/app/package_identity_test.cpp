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
    static std::string CopyFailedBefore(const std::string& folder) {
        return "Velmora Quindle could not be copied to " +
               folder / GetPackageProgramName(kPackageMain) + ": ";
    }
    std::string RunsInPlace() const {
        return "Velmora Quindle was not copied, so it runs where it was started, and the download "
               "goes into " +
               m_downloads + ".";
    }
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
    // A folder whose name begins with the download folder's is another one.
    const std::string sibling = Program(m_downloads + "-old/velmora-setup");
    EXPECT_EQ(Copy(sibling), sibling);
#ifndef _WIN32
    // Here, the download folder spelled in other letter case is another
    // folder.
    const std::string otherCase = Program(m_home / "downloads/velmora-setup");
    EXPECT_EQ(Copy(otherCase), otherCase);
#endif
}

// Recognised as the file system recognises a folder: below it, in other
// letter case where the disk ignores case (Windows), through a link.
TEST_F(SelfCopyTest, TheDownloadFolderIsRecognisedAsTheFileSystemDoes) {
    const std::string nested = Program(m_downloads / "sub/velmora-setup");
    EXPECT_EQ(Copy(nested, AcceptDefault), Target());
#ifdef _WIN32
    const std::string otherCase = Program(m_home / "DOWNLOADS/velmora-setup");
    EXPECT_EQ(Copy(otherCase, AcceptDefault), Target());
#else
    const std::string linked = m_home / "linked-downloads";
    ASSERT_TRUE(MakeSymbolicLink(m_downloads, linked));
    const std::string throughLink = Program(linked / "velmora-setup");
    EXPECT_EQ(Copy(throughLink, AcceptDefault), Target());
#endif
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
    int asked = 0;
    const std::string result = Copy(module, [&](FolderDialog& dialog) {
        if (asked++ == 0) {
            dialog.m_strFolder = m_home / "blocked/packages";
            dialog.EndDialog(1);
        } else {
            dialog.EndDialog(2);
        }
    });
    EXPECT_EQ(result, module);
    EXPECT_EQ(asked, 2) << "asked again after the failed copy";
#ifdef _WIN32
    const int notAFolder = ERROR_PATH_NOT_FOUND;
#else
    const int notAFolder = ENOTDIR;
#endif
    const auto texts = m_messages.Texts();
    ASSERT_EQ(texts.size(), 3u) << testing::PrintToString(texts);
    EXPECT_EQ(texts[0], SystemErrorText(notAFolder));
    EXPECT_EQ(texts[1].rfind(CopyFailedBefore(m_home / "blocked/packages"), 0), 0u) << texts[1];
    EXPECT_EQ(texts[2], RunsInPlace());
}

// A copy that fails is said with its reason, and the folder asked for
// again: another folder then takes the copy; Cancel runs the program where
// it lies, which is said once, and nothing is written beside it.
TEST_F(SelfCopyTest, AFailedCopyIsSaidAndTheFolderAskedForAgain) {
    const std::string module = Program(m_downloads / "setup");
    const std::string taken = m_home / "taken";
    WriteFile(taken / GetPackageProgramName(kPackageMain) / "inside", "a folder at the name");
    const std::string other = m_home / "other";
    for (const bool choosesAnother : {true, false}) {
        SCOPED_TRACE(choosesAnother ? "another folder" : "Cancel");
        m_messages.Clear();
        int asked = 0;
        const std::string result = Copy(module, [&](FolderDialog& dialog) {
            if (asked++ == 0) {
                dialog.m_strFolder = taken;
                dialog.EndDialog(1);
            } else if (choosesAnother) {
                EXPECT_EQ(dialog.m_strFolder, taken) << "the second dialog shows the folder";
                dialog.m_strFolder = other;
                dialog.EndDialog(1);
            } else {
                dialog.EndDialog(2);
            }
        });
        EXPECT_EQ(asked, 2);
        const std::string failed = CopyFailedBefore(taken) +
                                   "something that is not a file has that name\n\nPlease "
                                   "choose another folder for the package.";
        if (choosesAnother) {
            EXPECT_EQ(result, other / GetPackageProgramName(kPackageMain));
            EXPECT_EQ(ReadFile(result), ReadFile(module));
            EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{failed});
        } else {
            EXPECT_EQ(result, module);
            EXPECT_EQ(m_messages.Texts(), (std::vector<std::string>{failed, RunsInPlace()}));
        }
    }
    EXPECT_EQ(ListFolder(m_downloads), (std::vector<std::string>{".keep", "setup"}))
        << "nothing written beside the program";
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
