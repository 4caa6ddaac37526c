#include "widgets/shell.h"

#include <sys/stat.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <fstream>

namespace {

bool IsNativeProgram(const std::string& path) {
    char head[4] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, sizeof head);
    const std::streamsize n = in.gcount();
    return (n >= 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') ||
           (n >= 2 && head[0] == '#' && head[1] == '!');
}

}  // namespace

bool StartDetached(const std::string& path) {
    const QString program = QString::fromLocal8Bit(path.c_str());
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

void ShellOpen(const std::string& path) {
    if (IsNativeProgram(path)) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0) {
            // Execute for whoever may read it.
            chmod(path.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
        }
        StartDetached(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
}
