#include "ui/about_dialog.h"

#include "ui/dialog_templates.h"
#include "ui/ui_resources.h"

AboutDialog::AboutDialog(Dialog* parent) : Dialog(AboutDialogTemplate(), parent) {
    EnsureUiResources();
}
