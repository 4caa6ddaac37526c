#include "app/launcher_glib.h"

#include <glib.h>
#include <sys/stat.h>

#include "app/launcher.h"
#include "framework/own_files.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"

namespace {

constexpr char kEntryGroup[] = "Desktop Entry";
// Where the installed program is filed in the applications menu.
constexpr char kMenuCategories[] = "Network;FileTransfer;";
// Far more than an entry of ours holds.
constexpr std::size_t kMaxEntrySize = 64 * 1024;

std::string EntryName(LauncherPlace place) {
    return std::string(place == LauncherPlace::ApplicationsMenu ? res::kMenuEntryId
                                                                : text::kShortcutName) +
           ".desktop";
}

// Loads the launcher `place` in `folder` into `entry`. Only a regular file
// is read: a FIFO at the name would hold the start-up.
bool LoadEntry(LauncherPlace place, const std::string& folder, GKeyFile* entry,
               GKeyFileFlags flags) {
    std::string content;
    return !folder.empty() &&
           ReadOwnFile(OwnFolder::Open(folder), EntryName(place), kMaxEntrySize, content) &&
           g_key_file_load_from_data(entry, content.data(), content.size(), flags, nullptr);
}

// An existing entry is loaded and saved back with only its own keys
// changed.
LauncherWrite WriteEntry(LauncherPlace place, const std::string& folder, const std::string& target,
                         const std::string& icon) {
    const std::string path = folder + "/" + EntryName(place);
    GKeyFile* entry = g_key_file_new();
    // A file that is not a desktop entry counts as no launcher at all.
    const bool existed = LoadEntry(place, folder, entry,
                                   static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS |
                                                              G_KEY_FILE_KEEP_TRANSLATIONS)) &&
                         g_key_file_has_group(entry, kEntryGroup);
    if (!existed) {
        g_key_file_free(entry);
        entry = g_key_file_new();
    }
    g_key_file_set_string(entry, kEntryGroup, "Type", "Application");
    g_key_file_set_string(entry, kEntryGroup, "Name", text::kShortcutName);
    g_key_file_set_string(entry, kEntryGroup, "Exec", QuoteExec(target).c_str());
    g_key_file_set_string(entry, kEntryGroup, "Comment", text::kShortcutDescription);
    if (!icon.empty()) {
        g_key_file_set_string(entry, kEntryGroup, "Icon", icon.c_str());
        g_key_file_set_string(entry, kEntryGroup, "Categories", kMenuCategories);
    }
    const bool saved = g_key_file_save_to_file(entry, path.c_str(), nullptr);
    g_key_file_free(entry);
    if (!saved) {
        return LauncherWrite::Failed;
    }
    // Desktops launch only entries that are executable.
    chmod(path.c_str(), 0755);
    return existed ? LauncherWrite::Updated : LauncherWrite::Created;
}

// Creates the folders along `path` without a word: the menu's folder is
// the desktop's business, and a missing one is no error of the user's.
void MakeFoldersQuietly(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

}  // namespace

std::string QuoteExec(const std::string& path) {
    // Inside double quotes a desktop entry escapes " ` $ \ with a backslash;
    // a % would start a field code.
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    return quoted + "\"";
}

std::string ExecTarget(const std::string& exec) {
    gint argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) {
        return {};
    }
    const std::string arg = argc == 1 ? argv[0] : "";
    g_strfreev(argv);
    // "%%" stands for "%"; any other "%" is a field code, which QuoteExec
    // never writes.
    std::string path;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == '%' && (++i == arg.size() || arg[i] != '%')) {
            return {};
        }
        path += arg[i];
    }
    // A bare name would be looked up along PATH.
    return path.rfind('/', 0) == 0 ? path : std::string();
}

LauncherWrite WriteLauncher(LauncherPlace place, const std::string& folder,
                            const std::string& target, const std::string& icon) {
    if (place == LauncherPlace::ApplicationsMenu) {
        MakeFoldersQuietly(folder);
    }
    return WriteEntry(place, folder, target, icon);
}

std::string ReadLauncherTarget(LauncherPlace place, const std::string& folder) {
    GKeyFile* entry = g_key_file_new();
    std::string target;
    if (LoadEntry(place, folder, entry, G_KEY_FILE_NONE)) {
        gchar* exec = g_key_file_get_string(entry, kEntryGroup, "Exec", nullptr);
        target = exec != nullptr ? ExecTarget(exec) : "";
        g_free(exec);
    }
    g_key_file_free(entry);
    return target;
}
