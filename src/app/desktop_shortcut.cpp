#include "app/desktop_shortcut.h"

#include <glib.h>
#include <sys/stat.h>

#include <QStandardPaths>

#include <cerrno>

#include "framework/file_utils.h"
#include "framework/message_box.h"
#include "framework/texts.h"

namespace {

constexpr char kEntryGroup[] = "Desktop Entry";

}  // namespace

std::string DesktopFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
        .toLocal8Bit()
        .toStdString();
}

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

void CreateDesktopShortcut(const std::string& target, const std::string& desktopFolder) {
    struct stat st {};
    int error = 0;
    if (desktopFolder.empty()) {
        error = ENOENT;
    } else if (stat(desktopFolder.c_str(), &st) != 0) {
        error = errno;
    } else if (!S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
    }
    if (error != 0) {
        ShowMessageBox(text::kCannotGetDesktopPath + SystemErrorText(error));
        return;
    }
    const std::string path = desktopFolder + "/" + text::kShortcutName + ".desktop";

    GKeyFile* entry = g_key_file_new();
    // A file that is not a desktop entry counts as no launcher at all.
    const bool existed =
        g_key_file_load_from_file(
            entry, path.c_str(),
            static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
            nullptr) &&
        g_key_file_has_group(entry, kEntryGroup);
    if (!existed) {
        g_key_file_free(entry);
        entry = g_key_file_new();
    }
    g_key_file_set_string(entry, kEntryGroup, "Type", "Application");
    g_key_file_set_string(entry, kEntryGroup, "Name", text::kShortcutName);
    g_key_file_set_string(entry, kEntryGroup, "Exec", QuoteExec(target).c_str());
    g_key_file_set_string(entry, kEntryGroup, "Comment", text::kShortcutDescription);

    const bool saved = g_key_file_save_to_file(entry, path.c_str(), nullptr);
    g_key_file_free(entry);
    if (!saved) {
        ShowMessageBox(text::kFailedToSaveShortcut);
        return;
    }
    // Desktops launch only entries that are executable.
    chmod(path.c_str(), 0755);
    if (!existed) {
        ShowMessageBox(text::kShortcutCreated);
    }
}
