#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "widgets/shell.h"
#include "widgets/win32/com_apartment_win32.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/main_window_win32.h"
#include "widgets/win32/shell_win32.h"

using dialog_win32::Utf8FromWide;
using dialog_win32::WideFromUtf8;

namespace {

// The folder part of a path, for a program's working folder; empty when the
// path names none. A drive's root keeps its "\": "C:" alone is the current
// folder on that drive.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) {
        return {};
    }
    std::wstring folder = path.substr(0, last);
    if (folder.empty() || folder.back() == L':') {
        folder += L'\\';
    }
    return folder;
}

// Where the chooser starts, once its window is there.
int CALLBACK StartInFolder(HWND chooser, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED && folder != 0) {
        SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, folder);
    }
    return 0;
}

// User-interface thread only, as the pointer is.
int g_waitDepth = 0;
HCURSOR g_cursorBeforeWait = nullptr;

HCURSOR WaitCursor() {
    return LoadCursorW(nullptr, IDC_WAIT);
}

}  // namespace

bool StartDetached(const std::string& path) {
    const std::wstring program = WideFromUtf8(path);
    if (program.empty()) {
        return false;
    }
    // The program by its own path, never searched for; its command line
    // names it and nothing more. It runs in its own folder and inherits no
    // handle of ours.
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

bool ShellOpen(const OwnFolder& folder, const std::string& name) {
    // Opened through the held folder first: only a regular file there, no
    // link, is handed on.
    FileHandle file = OpenOwnFileForReading(folder, name);
    if (!file.IsOpen()) {
        return false;
    }
    file.Close();
    const std::wstring path = WideFromUtf8(folder.PathOf(name));
    if (path.empty()) {
        return false;
    }
    const std::wstring workingFolder = FolderOf(path);
    // The shell's "open": it runs a program (asking for elevation where its
    // manifest wants it) and gives any other file to its handler, some of
    // which need COM.
    const ComApartment com;
    const HINSTANCE result =
        ShellExecuteW(ModalOwnerWindow(), L"open", path.c_str(), nullptr,
                      workingFolder.empty() ? nullptr : workingFolder.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string HomeFolder() {
    PWSTR profile = nullptr;
    std::wstring home;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &profile)) &&
        profile != nullptr) {
        home = profile;
    }
    CoTaskMemFree(profile);
    if (home.empty()) {
        wchar_t variable[MAX_PATH] = {};
        const DWORD n = GetEnvironmentVariableW(L"USERPROFILE", variable, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            home.assign(variable, n);
        }
    }
    return Utf8FromWide(home);
}

std::string PackageFolderBase() {
    // The system's drive, as "C:".
    wchar_t drive[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"SystemDrive", drive, MAX_PATH);
    return n > 0 && n < MAX_PATH ? dialog_win32::Utf8FromWide(std::wstring(drive, n)) : "C:";
}

std::string BrowseForFolder(const std::string& title) {
    // The chooser of the new style is made of COM objects.
    const ComApartment com;
    const std::wstring caption = WideFromUtf8(title);
    const std::wstring start = WideFromUtf8(HomeFolder());
    BROWSEINFOW browse{};
    browse.hwndOwner = ModalOwnerWindow();
    browse.lpszTitle = caption.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = StartInFolder;
    browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    const PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr) {
        return {};
    }
    // Room for the longest path the system takes, not just MAX_PATH.
    std::wstring path(32768, L'\0');
    const bool named = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                             GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(chosen);
    if (!named) {
        return {};
    }
    path.resize(std::wcslen(path.c_str()));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {};
    }
    return Utf8FromWide(path);
}

// The wait cursor holds while the thread works without looking at its
// messages; a window that answers WM_SETCURSOR with SetBusyCursor keeps it
// in between.
void BeginWaitCursor() {
    const HCURSOR before = SetCursor(WaitCursor());
    if (g_waitDepth++ == 0) {
        g_cursorBeforeWait = before;
    }
}

void EndWaitCursor() {
    if (g_waitDepth == 0) {
        return;
    }
    if (--g_waitDepth == 0) {
        SetCursor(g_cursorBeforeWait != nullptr ? g_cursorBeforeWait
                                                : LoadCursorW(nullptr, IDC_ARROW));
        g_cursorBeforeWait = nullptr;
    }
}

int PauseWaitCursor() {
    const int depth = g_waitDepth;
    if (depth > 0) {
        g_waitDepth = 1;
        EndWaitCursor();
    }
    return depth;
}

void ResumeWaitCursor(int depth) {
    if (depth > 0) {
        BeginWaitCursor();
        g_waitDepth = depth;
    }
}

bool SetBusyCursor() {
    if (g_waitDepth == 0) {
        return false;
    }
    SetCursor(WaitCursor());
    return true;
}
