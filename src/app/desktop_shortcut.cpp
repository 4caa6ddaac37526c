#include "app/desktop_shortcut.h"

#include "app/launcher.h"
#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/texts.h"

void CreateDesktopShortcut(const std::string& target, const std::string& desktopFolder,
                           const std::string& applicationsFolder, const std::string& icon,
                           bool sayFailure) {
    // The same launcher in the applications menu: many desktops show no
    // icons on the desktop at all.
    LauncherWrite menu = LauncherWrite::Failed;
    if (!applicationsFolder.empty()) {
        menu = WriteLauncher(LauncherPlace::ApplicationsMenu, applicationsFolder, target, icon);
    }
    EntryInfo desktop;
    if (!StatPath(desktopFolder, desktop) || desktop.kind != EntryKind::Folder) {
        // No desktop folder: the menu's launcher is the way back, found silently.
        if (menu == LauncherWrite::Failed && sayFailure) {
            ShowMessageBox(text::kFailedToSaveShortcut);
        }
        return;
    }
    switch (WriteLauncher(LauncherPlace::Desktop, desktopFolder, target, icon)) {
        case LauncherWrite::Failed:
            if (sayFailure) {
                ShowMessageBox(text::kFailedToSaveShortcut);
            }
            return;
        case LauncherWrite::Created:
            ShowMessageBox(text::kShortcutCreated);
            return;
        case LauncherWrite::Updated:
            return;
    }
}
