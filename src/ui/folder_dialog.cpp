#include "ui/folder_dialog.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <cstdlib>

#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/dialog_templates.h"
#include "widgets/data_exchange.h"
#include "widgets/main_window.h"

std::string DefaultPackageFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "";
    }
    return std::string(home) + "/VelmoraDownload";
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

FolderDialog::FolderDialog(QWidget* parent)
    : Dialog(PackageFolderDialogTemplate(), parent), m_strFolder(DefaultPackageFolder()) {
    MapCommand(res::IDC_CHOOSE_FOLDER, [this] { OnChooseFolder(); });
}

void FolderDialog::DoDataExchange(DataExchange& dx) {
    DDX_Text(dx, res::IDC_FOLDER, m_strFolder);
}

void FolderDialog::OnOK() {
    UpdateData(true);
    if (m_strFolder.empty()) {
        ShowMessageBox(text::kMustSelectPackageDirectory);
        return;
    }
    Dialog::OnOK();
}

void FolderDialog::OnChooseFolder() {
    const std::string folder = BrowseForFolder(text::kSelectPackageDirectory);
    if (!folder.empty()) {
        m_strFolder = folder;
        UpdateData(false);
    }
}
