#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

struct ChildResult {
    int exitStatus = -1;    // -1 when the child did not exit normally
    std::string errorText;  // what it wrote to standard error
};

// Runs a program to its end with the given umask. With `unprivileged`, a
// root caller runs it as the user "nobody", so that file permissions bind it
// as they bind a user. A file size limit of zero or more makes writes past it
// fail as on a full disk.
// `environment` holds NAME=VALUE settings added to (or replacing) this
// process's own.
// Where ChildLimitsAvailable() is false the umask is not applied, and asking
// for `unprivileged` or a file size limit fails with exit status -1 and the
// reason in errorText.
ChildResult RunChild(const std::vector<std::string>& argv, int umaskValue, bool unprivileged,
                     long fileSizeLimit = -1, const std::vector<std::string>& environment = {});

// Whether RunChild can give a child a umask, another user and a file size
// limit. Windows has none of them for a child.
bool ChildLimitsAvailable();

#ifndef _WIN32
// The uid the unprivileged child runs as, for making files reachable to it.
uid_t UnprivilegedUid();
#endif

// A program started beside the test, killed at a moment of the test's choosing.
class RunningChild {
  public:
    // Starts argv[0] (a path, not looked up) with this process's environment,
    // standard input, output and error.
    explicit RunningChild(const std::vector<std::string>& argv);
    // Kills and reaps it when it is still running.
    ~RunningChild();
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;

    bool Started() const { return m_started; }
    // Whether it has ended; its exit status then in `status` (-1 when it was
    // killed or did not exit normally). Does not wait.
    bool HasEnded(int& status);
    // Kills it outright (no chance to clean up), then waits for it.
    void Kill();
    // Waits for the end; the exit status or -1.
    int Wait();
    // A child that did not start counts as ended, with -1.

  private:
    bool m_started = false;
    bool m_ended = false;
    int m_status = -1;
    // The pid on POSIX, the process handle on Windows.
    std::intptr_t m_process = 0;
};
