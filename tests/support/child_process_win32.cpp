#include "support/child_process.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <mutex>

namespace {

// What TerminateProcess leaves as the exit code, as a shell reports SIGKILL.
constexpr UINT kKilledExitCode = 137;

std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

// One argument of a command line, written so that the C runtime and
// CommandLineToArgvW give it back unchanged: backslashes are taken literally
// except in front of a quote, so only those are doubled.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
    // The program name is split off by other rules, without escapes; a path
    // cannot hold a quote, so quoting it whole is enough.
    const std::wstring program = Wide(argv[0]);
    std::wstring line = program.find_first_of(L" \t") == std::wstring::npos && !program.empty()
                            ? program
                            : L"\"" + program + L"\"";
    for (std::size_t i = 1; i < argv.size(); ++i) {
        line += L' ';
        AppendQuoted(line, Wide(argv[i]));
    }
    return line;
}

// The name of an environment entry. Those the shell keeps for the current
// folder of each drive ("=C:=C:\dir") begin with their '='.
std::wstring NameOf(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

int CompareNames(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE);
}

// This process's environment with the NAME=VALUE settings added or replacing;
// names are compared ignoring case, as Windows does.
std::wstring EnvironmentBlock(const std::vector<std::string>& settings) {
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* e = own; *e != L'\0'; e += std::wcslen(e) + 1) {
            entries.emplace_back(e);
        }
        FreeEnvironmentStringsW(own);
    }
    for (const std::string& setting : settings) {
        const std::wstring entry = Wide(setting);
        const std::wstring name = NameOf(entry);
        std::erase_if(entries, [&](const std::wstring& e) {
            return CompareNames(NameOf(e), name) == CSTR_EQUAL;
        });
        entries.push_back(entry);
    }
    // Windows wants the block sorted by name, ignoring case.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::wstring& a, const std::wstring& b) {
                         return CompareNames(NameOf(a), NameOf(b)) == CSTR_LESS_THAN;
                     });
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    // An empty block is two NULs too.
    block += L'\0';
    if (entries.empty()) {
        block += L'\0';
    }
    return block;
}

// An inheritable copy of a standard handle for the child, or null.
HANDLE InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

// Starts argv[0] with the given standard error and this process's standard
// input and output; `environment` null for this process's own. The handles
// are made inheritable only for the moment of the start, and starts are one
// at a time, so that a child started by another thread does not inherit them
// (and hold a pipe open).
bool StartProcess(const std::vector<std::string>& argv, const std::wstring* environment,
                  HANDLE errorOutput, PROCESS_INFORMATION& info, DWORD& error) {
    static std::mutex startMutex;
    std::lock_guard lock(startMutex);
    const HANDLE handles[3] = {InheritableCopy(GetStdHandle(STD_INPUT_HANDLE)),
                               InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE)),
                               InheritableCopy(errorOutput)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
    const std::wstring program = Wide(argv[0]);
    std::wstring commandLine = CommandLine(argv);
    std::wstring block = environment != nullptr ? *environment : std::wstring();
    const BOOL started = CreateProcessW(
        program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
        environment != nullptr ? block.data() : nullptr, nullptr, &startup, &info);
    error = started ? 0 : GetLastError();
    for (const HANDLE handle : handles) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    if (started) {
        CloseHandle(info.hThread);
    }
    return started;
}

// The exit status of an ended process. The codes from 0xC0000000 up are
// the system's reports of a crash, as a signal is on POSIX.
int ExitStatus(HANDLE process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code) || code >= 0xC0000000u) {
        return -1;
    }
    return static_cast<int>(code);
}

HANDLE Handle(std::intptr_t process) {
    return reinterpret_cast<HANDLE>(process);
}

}  // namespace

bool ChildLimitsAvailable() {
    return false;
}

ChildResult RunChild(const std::vector<std::string>& argv, int /*umaskValue*/, bool unprivileged,
                     long fileSizeLimit, const std::vector<std::string>& environment) {
    ChildResult result;
    if (unprivileged) {
        result.errorText = "RunChild: a child cannot be started as another user on Windows";
        return result;
    }
    if (fileSizeLimit >= 0) {
        result.errorText = "RunChild: a child's file size cannot be limited on Windows";
        return result;
    }
    if (argv.empty()) {
        result.errorText = "RunChild: no program";
        return result;
    }
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
        result.errorText = "RunChild: no pipe, error " + std::to_string(GetLastError());
        return result;
    }
    const std::wstring block = EnvironmentBlock(environment);
    PROCESS_INFORMATION info{};
    DWORD error = 0;
    const bool started = StartProcess(argv, &block, writeEnd, info, error);
    // Only the child holds the pipe's writing end now, so the reading ends
    // when the child (and whatever inherited it from the child) has ended.
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        result.errorText = "RunChild: cannot start " + argv[0] + ", error " + std::to_string(error);
        return result;
    }
    // Read while it runs: a child that writes more than the pipe holds would
    // otherwise wait for us forever.
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr)) {
        result.errorText.append(buffer, n);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(info.hProcess, INFINITE);
    result.exitStatus = ExitStatus(info.hProcess);
    CloseHandle(info.hProcess);
    return result;
}

RunningChild::RunningChild(const std::vector<std::string>& argv) {
    PROCESS_INFORMATION info{};
    DWORD error = 0;
    m_started =
        !argv.empty() && StartProcess(argv, nullptr, GetStdHandle(STD_ERROR_HANDLE), info, error);
    m_ended = !m_started;
    if (m_started) {
        m_process = reinterpret_cast<std::intptr_t>(info.hProcess);
    }
}

RunningChild::~RunningChild() {
    Kill();
}

bool RunningChild::HasEnded(int& status) {
    if (!m_ended) {
        const DWORD waited = WaitForSingleObject(Handle(m_process), 0);
        if (waited == WAIT_TIMEOUT) {
            return false;
        }
        m_status = waited == WAIT_OBJECT_0 ? ExitStatus(Handle(m_process)) : -1;
        m_ended = true;
        CloseHandle(Handle(m_process));
    }
    status = m_status;
    return true;
}

void RunningChild::Kill() {
    if (m_ended) {
        return;
    }
    // A child that has ended on its own keeps its own exit status, as on
    // POSIX; Wine lets the termination of an ended process succeed, so the
    // exit code tells which end it had.
    const bool killed = WaitForSingleObject(Handle(m_process), 0) == WAIT_TIMEOUT &&
                        TerminateProcess(Handle(m_process), kKilledExitCode) != 0;
    if (Wait() == static_cast<int>(kKilledExitCode) && killed) {
        m_status = -1;
    }
}

int RunningChild::Wait() {
    if (!m_ended) {
        const DWORD waited = WaitForSingleObject(Handle(m_process), INFINITE);
        m_status = waited == WAIT_OBJECT_0 ? ExitStatus(Handle(m_process)) : -1;
        m_ended = true;
        CloseHandle(Handle(m_process));
    }
    return m_status;
}
