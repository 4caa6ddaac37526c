/* A stand-in for the maker's installer, for the Windows demo: it leaves
 * "installer-ran.txt" (naming itself and its working folder) in the folder
 * that VELMORA_DEMO_OUTPUT names, else beside itself, and ends. The demo
 * appends random bytes after it, so that the package has many parts; the
 * loader maps only what the PE headers name, so the program still runs. */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#define LONG_PATH 32768

static void write_utf8(HANDLE file, const wchar_t* text) {
    static char bytes[9 * LONG_PATH];
    DWORD written = 0;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (n > 1) {
        WriteFile(file, bytes, (DWORD)(n - 1), &written, NULL);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    static wchar_t self[LONG_PATH], folder[LONG_PATH], working[LONG_PATH], path[LONG_PATH + 32];
    static wchar_t line[3 * LONG_PATH];
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    DWORD n = GetModuleFileNameW(NULL, self, LONG_PATH);
    if (n == 0 || n >= LONG_PATH) {
        return 1;
    }
    n = GetEnvironmentVariableW(L"VELMORA_DEMO_OUTPUT", folder, LONG_PATH);
    if (n == 0 || n >= LONG_PATH) {
        wcscpy(folder, self);
        wchar_t* slash = wcsrchr(folder, L'\\');
        if (slash == NULL) {
            return 1;
        }
        *slash = L'\0';
    }
    n = GetCurrentDirectoryW(LONG_PATH, working);
    if (n == 0 || n >= LONG_PATH) {
        working[0] = L'\0';
    }
    _snwprintf(path, sizeof path / sizeof path[0], L"%ls\\installer-ran.txt", folder);
    path[sizeof path / sizeof path[0] - 1] = L'\0';
    /* Written under another name and then renamed: whoever waits for the
     * file never reads half of it. */
    wchar_t partial[LONG_PATH + 40];
    _snwprintf(partial, sizeof partial / sizeof partial[0], L"%ls.partial", path);
    partial[sizeof partial / sizeof partial[0] - 1] = L'\0';
    HANDLE file =
        CreateFileW(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    _snwprintf(line, sizeof line / sizeof line[0],
               L"The Velmora demo installer ran: %ls\r\nWorking folder: %ls\r\n", self, working);
    line[sizeof line / sizeof line[0] - 1] = L'\0';
    write_utf8(file, line);
    CloseHandle(file);
    return MoveFileExW(partial, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
