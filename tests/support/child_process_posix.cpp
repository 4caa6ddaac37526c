#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

uid_t UnprivilegedUid() {
    return getuid() == 0 ? kNobody : getuid();
}

bool ChildLimitsAvailable() {
    return true;
}

ChildResult RunChild(const std::vector<std::string>& argv, int umaskValue, bool unprivileged,
                     long fileSizeLimit, const std::vector<std::string>& environment) {
    // Prepared before the fork: only async-signal-safe calls after it.
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& setting : environment) {
            replaced = replaced || setting.substr(0, setting.find('=')) == name;
        }
        if (!replaced) {
            env.push_back(*e);
        }
    }
    for (const std::string& setting : environment) {
        env.push_back(const_cast<char*>(setting.c_str()));
    }
    env.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int pipeFds[2];
    ChildResult result;
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    const bool dropRoot = unprivileged && getuid() == 0;
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        dup2(pipeFds[1], STDERR_FILENO);
        umask(static_cast<mode_t>(umaskValue));
        if (fileSizeLimit >= 0) {
            // A write past the limit then fails with EFBIG instead of a signal.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                               static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (dropRoot && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(126);
        }
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        result.errorText.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}

namespace {

// The exit status of a waitpid status; -1 for a signal.
int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunningChild::RunningChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    m_started =
        !argv.empty() && posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0;
    m_ended = !m_started;
    m_process = pid;
}

RunningChild::~RunningChild() {
    Kill();
}

bool RunningChild::HasEnded(int& status) {
    if (!m_ended) {
        int waitStatus = 0;
        const pid_t pid = static_cast<pid_t>(m_process);
        pid_t reaped;
        while ((reaped = waitpid(pid, &waitStatus, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (reaped == 0) {
            return false;
        }
        m_ended = true;
        m_status = reaped == pid ? ExitStatus(waitStatus) : -1;
    }
    status = m_status;
    return true;
}

void RunningChild::Kill() {
    if (!m_ended) {
        // A child that has just exited is a zombie still: the kill does
        // nothing, and the wait gives its own exit status.
        kill(static_cast<pid_t>(m_process), SIGKILL);
        Wait();
    }
}

int RunningChild::Wait() {
    if (!m_ended) {
        int waitStatus = 0;
        const pid_t pid = static_cast<pid_t>(m_process);
        pid_t reaped;
        while ((reaped = waitpid(pid, &waitStatus, 0)) < 0 && errno == EINTR) {
        }
        m_ended = true;
        m_status = reaped == pid ? ExitStatus(waitStatus) : -1;
    }
    return m_status;
}
