#include "app/package_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>

#include "transfer/file_utils.h"
#include "ui/folder_dialog.h"

namespace {

const char* const kProgramNames[] = {"VELMORA_QUINDLE_7", "VELMORA_TTS_TOBRIN",
                                     "VELMORA_TTS_VESSA"};

}  // namespace

std::string GetPackageProgramName(PackageId id) {
    return kProgramNames[id >= kPackageMain && id <= kPackageVessa ? id : kPackageMain];
}

std::string BrowserDownloadFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)
        .toLocal8Bit()
        .toStdString();
}

bool CopyProgramFile(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    const std::string partial = to + ".partial";
    const int out =
        open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0755);
    if (out < 0) {
        close(in);
        return false;
    }
    std::int64_t copied = 0;
    bool ok = AppendFileContents(in, out, copied) == CopyResult::Done;
    struct stat st {};
    ok = ok && fstat(in, &st) == 0 && fchmod(out, (st.st_mode & 07777) | 0100) == 0;
    ok = fsync(out) == 0 && ok;
    ok = close(out) == 0 && ok;
    close(in);
    ok = ok && rename(partial.c_str(), to.c_str()) == 0;
    if (!ok) {
        unlink(partial.c_str());
    }
    return ok;
}

std::string CopyToPackageFolder(const std::string& modulePath, const std::string& downloadFolder) {
    // Always the main package's name, whatever package is selected.
    if (modulePath.find(GetPackageProgramName(kPackageMain)) != std::string::npos) {
        return modulePath;
    }
    if (downloadFolder.empty() ||
        modulePath.compare(0, downloadFolder.size(), downloadFolder) != 0) {
        return modulePath;
    }
    FolderDialog dialog;
    // After Cancel the folder is the one the dialog held: the default or the
    // last one picked.
    dialog.DoModal();
    const std::string folder = dialog.m_strFolder;
    if (folder.empty()) {
        return modulePath;
    }
    const std::string target = folder + "/" + GetPackageProgramName(g_currentPackage);
    MakeDirectoryTree(target);
    return CopyProgramFile(modulePath, target) ? target : modulePath;
}
