#include "app/program_start.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "framework/native_file_posix.h"

namespace {

constexpr char kShortcutSaid[] = "VELMORA_QUINDLE_SHORTCUT_SAID";

}  // namespace

bool StartProgramFile(const OwnFolder& folder, const FileHandle& file, const std::string& path) {
    const int fd = NativeFile::Fd(file);
    const int folderFd = folder.IsOpen() ? NativeFile::Fd(folder.Handle()) : -1;
    // The child writes why exec failed here; a successful exec closes it
    // with nothing written.
    int report[2];
    if (fd < 0 || folderFd < 0 || pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        // Only calls that are safe after fork() in a process with threads.
        // The grandchild runs the program, so nobody has to wait for it.
        setsid();
        if (fork() != 0) {
            _exit(0);
        }
        int error = fchdir(folderFd) == 0 ? 0 : errno;
        // A "#!" program is read by its interpreter through this descriptor,
        // so it must outlive the exec.
        if (error == 0 && fcntl(fd, F_SETFD, 0) == 0) {
            fexecve(fd, argv, environ);
        }
        error = errno;
        [[maybe_unused]] const ssize_t written = write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    const bool forked = child > 0 && waitpid(child, &status, 0) == child;
    int error = 0;
    ssize_t got = 0;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return forked && got == 0;
}

void MarkShortcutSaid() {
    setenv(kShortcutSaid, "1", 1);
}

bool TakeShortcutSaidMark() {
    const bool said = std::getenv(kShortcutSaid) != nullptr;
    unsetenv(kShortcutSaid);
    return said;
}
