#include "app/desktop_shortcut.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/launcher.h"
#include "app/launcher_glib.h"
#include "framework/file_utils.h"
#include "support/temp_dir.h"

namespace {

const char kCreated[] =
    "A desktop shortcut to Velmora Quindle and Installer is created for you. If you download over "
    "several sessions, you can click on the shortcut to continue download and installation from "
    "where you have left previously";

class DesktopShortcutTest : public testing::Test {
  protected:
    std::string Entry() const { return m_desktop / "Velmora Quindle 7.desktop"; }
    std::string MenuEntry() const { return Menu() + "/velmora-quindle-7.desktop"; }
    // The applications menu's folder, not there until the launcher makes it.
    std::string Menu() const { return m_data / "applications"; }
    // The value of a key as a desktop reads it.
    std::string Key(const char* key, const std::string& path = {}) const {
        GKeyFile* file = g_key_file_new();
        std::string value;
        if (g_key_file_load_from_file(file, (path.empty() ? Entry() : path).c_str(),
                                      G_KEY_FILE_NONE, nullptr)) {
            gchar* raw = g_key_file_get_string(file, "Desktop Entry", key, nullptr);
            value = raw != nullptr ? raw : "";
            g_free(raw);
        }
        g_key_file_free(file);
        return value;
    }

    TempDir m_desktop;
    TempDir m_data;
    MessageRecorder m_messages;
};

TEST_F(DesktopShortcutTest, CreatedOnceThenRefreshedSilently) {
    CreateDesktopShortcut("/home/u/VelmoraDownload/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kCreated});
    EXPECT_EQ(Key("Type"), "Application");
    EXPECT_EQ(Key("Name"), "Velmora Quindle 7");
    EXPECT_EQ(Key("Exec"), "\"/home/u/VelmoraDownload/VELMORA_QUINDLE_7\"");
    EXPECT_EQ(Key("Comment"), "Velmora quindle and installer program");
    struct stat st {};
    ASSERT_EQ(stat(Entry().c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "desktops launch only executable entries";

    // The user's own keys survive a refresh; the target follows the program.
    std::string content = ReadFile(Entry());
    WriteFile(Entry(), content + "Icon=my-icon\n# my note\n");
    m_messages.Clear();
    CreateDesktopShortcut("/srv/pkg/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(Key("Exec"), "\"/srv/pkg/VELMORA_QUINDLE_7\"");
    EXPECT_EQ(Key("Icon"), "my-icon");
    EXPECT_NE(ReadFile(Entry()).find("# my note"), std::string::npos);

    unlink(Entry().c_str());
    CreateDesktopShortcut("/srv/pkg/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kCreated}) << "made anew after deletion";
}

TEST_F(DesktopShortcutTest, AFileThatIsNoDesktopEntryIsReplaced) {
    for (const char* content : {"not a key file at all \x01\x02", "[Other Group]\nExec=x\n"}) {
        m_messages.Clear();
        WriteFile(Entry(), content);
        CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kCreated}) << content;
        EXPECT_EQ(Key("Exec"), "\"/p/VELMORA_QUINDLE_7\"");
    }
}

TEST_F(DesktopShortcutTest, TheSameEntryGoesIntoTheMenuAndBothPassTheValidator) {
    CreateDesktopShortcut("/home/u/Velmora Download/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(ReadFile(MenuEntry()), ReadFile(Entry()));
    EXPECT_EQ(Key("Exec", MenuEntry()), "\"/home/u/Velmora Download/VELMORA_QUINDLE_7\"");
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs desktop-file-validate (Debian's desktop-file-utils)";
    }
    for (const std::string& entry : {Entry(), MenuEntry(), std::string(VELMORA_PACKAGED_ENTRY)}) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0) << entry;
    }
}

TEST_F(DesktopShortcutTest, WithoutADesktopFolderOnlyTheMenuEntryIsWrittenSilently) {
    for (int start = 0; start < 2; ++start) {
        CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop / "missing", Menu());
        EXPECT_TRUE(m_messages.Texts().empty()) << "start " << start << ": no box at every start";
    }
    EXPECT_EQ(Key("Exec", MenuEntry()), "\"/p/VELMORA_QUINDLE_7\"");
    EXPECT_FALSE(FileExists(m_desktop / "missing"));
}

TEST_F(DesktopShortcutTest, FailuresAreReported) {
    // Nowhere to put a launcher at all.
    WriteFile(m_data / "applications", "a file where the menu's folder should be");
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop / "missing", Menu());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Failed to save quindle shortcut"});

    m_messages.Clear();
    ASSERT_EQ(mkdir(Entry().c_str(), 0755), 0);  // nothing can be saved there
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Failed to save quindle shortcut"});
}

TEST(QuoteExecTest, ThePathRunsExactlyAsGiven) {
    EXPECT_EQ(QuoteExec("/a b/VELMORA_QUINDLE_7"), "\"/a b/VELMORA_QUINDLE_7\"");
    EXPECT_EQ(QuoteExec("/x\"y`z$w\\v/p"), "\"/x\\\"y\\`z\\$w\\\\v/p\"");
    EXPECT_EQ(QuoteExec("/100%/p"), "\"/100%%/p\"");
}

// The installed program's launchers show its icon and are filed in the
// menu; a later write without one (the copy's own start) keeps both.
TEST_F(DesktopShortcutTest, AnInstalledProgramsLaunchersCarryItsIconAndCategories) {
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop.Path(), Menu(),
                          "example.velmora.Quindle");
    for (const std::string& entry : {Entry(), MenuEntry()}) {
        EXPECT_EQ(Key("Icon", entry), "example.velmora.Quindle") << entry;
        EXPECT_EQ(Key("Categories", entry), "Network;FileTransfer;") << entry;
    }
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(Key("Icon", MenuEntry()), "example.velmora.Quindle");
    EXPECT_EQ(Key("Categories", MenuEntry()), "Network;FileTransfer;");

    TempDir otherDesktop;
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", otherDesktop.Path(), m_data / "other");
    EXPECT_EQ(ReadFile(otherDesktop / "Velmora Quindle 7.desktop").find("Icon="), std::string::npos)
        << "a downloaded program names no icon";
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs desktop-file-validate (Debian's desktop-file-utils)";
    }
    for (const std::string& entry : {Entry(), MenuEntry()}) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0) << entry;
    }
}

TEST_F(DesktopShortcutTest, TheTargetReadsBackFromEitherLauncher) {
    for (const char* target :
         {"/home/u/VelmoraDownload/VELMORA_QUINDLE_7", "/a b/x\"y`z$w\\v%%f/100%/VELMORA_QUINDLE_7",
          "/tab\there/new\nline/VELMORA_QUINDLE_7"}) {
        CreateDesktopShortcut(target, m_desktop.Path(), Menu());
        EXPECT_EQ(ReadLauncherTarget(LauncherPlace::ApplicationsMenu, Menu()), target);
        EXPECT_EQ(ReadLauncherTarget(LauncherPlace::Desktop, m_desktop.Path()), target);
    }
    EXPECT_EQ(ReadLauncherTarget(LauncherPlace::Desktop, m_desktop / "missing"), "");
    EXPECT_EQ(ReadLauncherTarget(LauncherPlace::Desktop, ""), "");
}

// Only a launcher as the program writes it names a program to run.
TEST_F(DesktopShortcutTest, AnyOtherLauncherNamesNoTarget) {
    for (const char* exec :
         {"velmora-quindle", "\"/p/VELMORA_QUINDLE_7\" -site x", "/p/VELMORA_QUINDLE_7 %f",
          "/p/VELMORA_%QUINDLE_7", "/p/V%", "\"/p/VELMORA_QUINDLE_7", ""}) {
        WriteFile(MenuEntry(),
                  std::string("[Desktop Entry]\nType=Application\nExec=") + exec + "\n");
        EXPECT_EQ(ReadLauncherTarget(LauncherPlace::ApplicationsMenu, Menu()), "") << exec;
    }
    EXPECT_EQ(ExecTarget("/p/VELMORA_QUINDLE_7"), "/p/VELMORA_QUINDLE_7") << "unquoted, by hand";

    // Neither a link nor a FIFO at the name is read: the FIFO would hold the
    // start-up for good.
    WriteFile(m_data / "elsewhere.desktop", "[Desktop Entry]\nExec=\"/p/VELMORA_QUINDLE_7\"\n");
    unlink(MenuEntry().c_str());
    ASSERT_EQ(symlink((m_data / "elsewhere.desktop").c_str(), MenuEntry().c_str()), 0);
    EXPECT_EQ(ReadLauncherTarget(LauncherPlace::ApplicationsMenu, Menu()), "");
    unlink(MenuEntry().c_str());
    ASSERT_EQ(mkfifo(MenuEntry().c_str(), 0600), 0);
    EXPECT_EQ(ReadLauncherTarget(LauncherPlace::ApplicationsMenu, Menu()), "");
    // Nor does writing the launchers wait on it: a real entry replaces it.
    CreateDesktopShortcut("/p/VELMORA_QUINDLE_7", m_desktop.Path(), Menu());
    EXPECT_EQ(Key("Exec", MenuEntry()), "\"/p/VELMORA_QUINDLE_7\"");
}

}  // namespace
