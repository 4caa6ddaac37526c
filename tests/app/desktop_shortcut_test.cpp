#include "app/desktop_shortcut.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

}  // namespace
