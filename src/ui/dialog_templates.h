#pragma once

#include "widgets/dialog_template.h"

// The program's dialogs, control by control.
const DialogTemplate& AboutDialogTemplate();          // 100
const DialogTemplate& MainDialogTemplate();           // 102
const DialogTemplate& PackageFolderDialogTemplate();  // 129
const DialogTemplate& ProxyDialogTemplate();          // 130
const DialogTemplate& SpeedLimitDialogTemplate();     // 131
