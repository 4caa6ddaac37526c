#include "widgets/shell.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cstdlib>

#include "widgets/qt/main_window.h"

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
    const std::string path = folder.PathOf(name);
    if (native) {
        return StartDetached(path);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "";
    }
    return home;
}

std::string PackageFolderBase() {
    return HomeFolder();
}

std::string BrowseForFolder(const std::string& title) {
    // Owned by the window that asks, and opening where the user's own
    // folders are.
    QFileDialog chooser(OwnerWindow(), QString::fromLocal8Bit(title.c_str()), QDir::homePath());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    // The same chooser on every desktop, and one the tests can answer.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return {};
    }
    const QFileInfo picked(chooser.selectedFiles().first());
    if (!picked.isDir()) {
        return {};
    }
    return picked.absoluteFilePath().toLocal8Bit().toStdString();
}

void BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}
