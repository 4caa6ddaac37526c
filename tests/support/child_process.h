#pragma once

#include <sys/types.h>

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
ChildResult RunChild(const std::vector<std::string>& argv, mode_t umaskValue, bool unprivileged,
                     long fileSizeLimit = -1, const std::vector<std::string>& environment = {});

// The uid the unprivileged child runs as, for making files reachable to it.
uid_t UnprivilegedUid();
