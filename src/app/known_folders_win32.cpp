#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include "app/known_folders.h"
#include "widgets/win32/controls_win32.h"

namespace {

// The shell's known folder, empty when this user has none.
std::string Known(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path) == S_OK) {
        folder = dialog_win32::Utf8FromWide(path);
    }
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string DesktopFolder() {
    return Known(FOLDERID_Desktop);
}

std::string DownloadsFolder() {
    return Known(FOLDERID_Downloads);
}

std::string BrowserCacheFolder() {
    return Known(FOLDERID_InternetCache);
}

// The Start menu's Programs folder stands where Linux has its applications
// menu.
std::string ApplicationsMenuFolder() {
    return Known(FOLDERID_Programs);
}
