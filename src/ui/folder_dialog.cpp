#include "ui/folder_dialog.h"

#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/dialog_templates.h"
#include "widgets/data_exchange.h"
#include "widgets/shell.h"

std::string DefaultPackageFolder() {
    return PackageFolderBase() + kPathSeparator + "VelmoraDownload";
}

FolderDialog::FolderDialog(Dialog* parent)
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
