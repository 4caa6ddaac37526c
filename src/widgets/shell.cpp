#include "widgets/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cerrno>

namespace {

bool IsNativeProgram(int fd) {
    char head[4] = {};
    ssize_t n = 0;
    do {
        n = pread(fd, head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    return (n >= 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') ||
           (n >= 2 && head[0] == '#' && head[1] == '!');
}

// Execute for whoever may read it. A failure is left to the start to show:
// the file may be executable already.
void MakeExecutable(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0) {
        fchmod(fd, (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
    }
}

}  // namespace

bool StartDetached(const std::string& path) {
    const QString program = QString::fromLocal8Bit(path.c_str());
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

bool ShellOpen(const OwnFolder& folder, const std::string& name) {
    const int fd = OpenOwnFileForReading(folder, name);
    if (fd < 0) {
        return false;
    }
    const bool native = IsNativeProgram(fd);
    if (native) {
        MakeExecutable(fd);
    }
    close(fd);
    const std::string path = PathThroughOwnFolder(folder, name);
    if (native) {
        return StartDetached(path);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
}
