#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "app/launcher.h"
#include "framework/texts.h"
#include "widgets/win32/controls_win32.h"

namespace {

// Releases a COM interface when it goes.
template <typename Interface>
class ComPointer {
  public:
    ComPointer() = default;
    ~ComPointer() {
        if (m_pointer != nullptr) {
            m_pointer->Release();
        }
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    Interface** Out() { return &m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

  private:
    Interface* m_pointer = nullptr;
};

// Creates or updates the shell link at `path`: an existing one is loaded
// first, so that whatever the user set in it (a hotkey, a window size)
// stays, and only the target, its folder and the description change.
LauncherWrite WriteLink(const std::wstring& path, const std::string& target) {
    ComPointer<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Out())))) {
        return LauncherWrite::Failed;
    }
    ComPointer<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out())))) {
        return LauncherWrite::Failed;
    }
    const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
                         SUCCEEDED(file->Load(path.c_str(), STGM_READWRITE));
    const std::wstring wideTarget = dialog_win32::WideFromUtf8(target);
    const std::wstring folder = wideTarget.substr(0, wideTarget.find_last_of(L"\\/"));
    if (FAILED(link->SetPath(wideTarget.c_str())) ||
        FAILED(link->SetWorkingDirectory(folder.c_str())) ||
        FAILED(
            link->SetDescription(dialog_win32::WideFromUtf8(text::kShortcutDescription).c_str())) ||
        FAILED(link->SetIconLocation(wideTarget.c_str(), 0)) ||
        FAILED(file->Save(path.c_str(), TRUE))) {
        return LauncherWrite::Failed;
    }
    return existed ? LauncherWrite::Updated : LauncherWrite::Created;
}

}  // namespace

// A shell link shows its target's own icon, and the Start menu has no
// categories: `icon` changes nothing here.
LauncherWrite WriteLauncher(LauncherPlace place, const std::string& folder,
                            const std::string& target, const std::string& /*icon*/) {
    const std::wstring wideFolder = dialog_win32::WideFromUtf8(folder);
    if (place == LauncherPlace::ApplicationsMenu) {
        // The Start menu's folder is the shell's business: a missing one is
        // made quietly.
        SHCreateDirectoryExW(nullptr, wideFolder.c_str(), nullptr);
    }
    return WriteLink(wideFolder + L"\\" + dialog_win32::WideFromUtf8(text::kShortcutName) + L".lnk",
                     target);
}

// Only an installed program looks for the copy its launcher starts, and the
// program is never installed on Windows: users start it from the browser's
// download.
std::string ReadLauncherTarget(LauncherPlace /*place*/, const std::string& /*folder*/) {
    return {};
}
