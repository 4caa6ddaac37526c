#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/platform_files.h"

void SetEnvironment(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvironment(const std::string& name) {
    unsetenv(name.c_str());
}

bool ReadFileTimes(const std::string& path, FileTimes& times) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    times.accessed = st.st_atim.tv_sec * 1000000000LL + st.st_atim.tv_nsec;
    times.modified = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

bool RestoreFileTimes(const std::string& path, const FileTimes& times) {
    const timespec both[2] = {{times.accessed / 1000000000, times.accessed % 1000000000},
                              {times.modified / 1000000000, times.modified % 1000000000}};
    return utimensat(AT_FDCWD, path.c_str(), both, 0) == 0;
}

bool MakeSymbolicLink(const std::string& target, const std::string& path) {
    return symlink(target.c_str(), path.c_str()) == 0;
}

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}

void MakeExecutable(const std::string& path) {
    chmod(path.c_str(), 0755);
}

bool HasPosixModes() {
    return true;
}

bool HasFileSizeLimit() {
    return true;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(long bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_previous = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_previous;
    setrlimit(RLIMIT_FSIZE, &limit);
}
