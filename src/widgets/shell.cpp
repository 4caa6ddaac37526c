#include "widgets/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

bool IsNativeProgram(const FileHandle& file) {
    char head[4] = {};
    std::size_t n = 0;
    if (!ReadAt(file, 0, head, sizeof head, n)) {
        return false;
    }
    return (n >= 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') ||
           (n >= 2 && head[0] == '#' && head[1] == '!');
}

}  // namespace

bool StartDetached(const std::string& path) {
    const QString program = QString::fromLocal8Bit(path.c_str());
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

bool ShellOpen(const OwnFolder& folder, const std::string& name) {
    FileHandle file = OpenOwnFileForReading(folder, name);
    if (!file.IsOpen()) {
        return false;
    }
    const bool native = IsNativeProgram(file);
    if (native) {
        // A failure is left to the start to show: it may be executable already.
        SetExecutable(file);
    }
    file.Close();
    const std::string path = PathThroughOwnFolder(folder, name);
    if (native) {
        return StartDetached(path);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
}
