#pragma once

#include <string>

#include "widgets/dialog.h"

// Asks once, at the first start, for the folder that receives the package.
class FolderDialog : public Dialog {
  public:
    explicit FolderDialog(Dialog* parent = nullptr);

    // $HOME/VelmoraDownload until the user picks another folder.
    std::string m_strFolder;

  protected:
    void DoDataExchange(DataExchange& dx) override;
    void OnOK() override;

  private:
    void OnChooseFolder();
};

// The default package folder, $HOME/VelmoraDownload.
std::string DefaultPackageFolder();
