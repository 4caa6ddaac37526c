#include "app/known_folders.h"

#include <QStandardPaths>

namespace {

std::string Writable(QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location).toLocal8Bit().toStdString();
}

}  // namespace

std::string DesktopFolder() {
    return Writable(QStandardPaths::DesktopLocation);
}

std::string DownloadsFolder() {
    return Writable(QStandardPaths::DownloadLocation);
}

std::string BrowserCacheFolder() {
    return {};
}

std::string ApplicationsMenuFolder() {
    return Writable(QStandardPaths::ApplicationsLocation);
}
