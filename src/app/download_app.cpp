#include "app/download_app.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/desktop_shortcut.h"
#include "app/download_command_line_info.h"
#include "app/installed_program.h"
#include "app/known_folders.h"
#include "app/launcher.h"
#include "app/package_identity.h"
#include "app/program_start.h"
#include "catalogue/package_files.h"
#include "framework/file_system.h"
#include "framework/folder_lock.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "framework/user_report.h"
#include "transfer/network.h"
#include "ui/main_dialog.h"
#include "ui/string_table.h"
#include "widgets/shell.h"

DownloadApp theApp;

namespace {

// What the launchers the program wrote start, the menu's first: the copy
// that an installed program keeps up to date.
std::vector<std::string> InstalledCopies() {
    return {ReadLauncherTarget(LauncherPlace::ApplicationsMenu, ApplicationsMenuFolder()),
            ReadLauncherTarget(LauncherPlace::Desktop, DesktopFolder())};
}

}  // namespace

bool DownloadApp::InitInstance(int argc, const char* const* argv) {
    DownloadCommandLineInfo commandLine;
    ParseCommandLine(argc, argv, commandLine);

    const std::string modulePath = ModuleFileName();
    std::string prefix;
    const bool installed = IsInstalledProgram(modulePath, prefix);
    HeldCopy installedCopy;
    if (installed) {
        installedCopy =
            InstalledCopyToRun(modulePath, FindPackageCopy(modulePath, InstalledCopies()));
        if (!installedCopy.IsHeld()) {
            // Nothing to start: the self-copy has said why.
            return false;
        }
    }
    const std::string runPath =
        installed ? installedCopy.path
                  : CopyToPackageFolder(modulePath, {BrowserCacheFolder(), DownloadsFolder()});
    if (runPath.empty() && !modulePath.empty()) {
        return false;
    }
    // Said once per start: by the first process, not again by its copy.
    const bool said = TakeShortcutSaidMark();
    CreateDesktopShortcut(runPath, DesktopFolder(), ApplicationsMenuFolder(),
                          installed ? InstalledIconName(prefix) : "", !said);
    if (runPath != modulePath) {
        // The copy starts without this run's options; a terminal hears so.
        if (!commandLine.m_strSite.empty() || !commandLine.m_strDir.empty()) {
            std::fprintf(stderr, "%s: -site and -dir are not passed on; start %s with them\n",
                         PackageInfoFor(kPackageMain).programName, runPath.c_str());
        }
        MarkShortcutSaid();
        // The installed program starts the very copy it checked.
        const bool started =
            installed ? StartProgramFile(installedCopy.folder, installedCopy.file, runPath)
                      : StartDetached(runPath);
        if (!started) {
            Report(Failure::WithPath(FailureKind::CannotStartCopy, runPath));
        }
        return false;
    }

    // Held until the window has ended: two programs on one package folder
    // would fetch the same parts into the same files. A path without a
    // folder is left to the preparation, which refuses it.
    const std::string packageFolder = PackageFolderOf(runPath);
    FolderLock lock;
    const bool hasFolder = runPath.find(kPathSeparator) != std::string::npos;
    if (hasFolder) {
        if (const Outcome locked = lock.Lock(packageFolder, kLockFileName); !locked) {
            Report(locked.Error());
            return false;
        }
    }

    if (!StartNetwork()) {
        ShowMessageBox(LoadStringResource(res::IDP_SOCKETS_INIT_FAILED));
        return false;
    }
    {
        MainDialog dialog;
        dialog.m_download.m_strHost = commandLine.m_strSite;
        dialog.m_download.m_strServerFolder = commandLine.m_strDir;
        dialog.DoModal();
    }
    StopNetwork();
    return false;
}
