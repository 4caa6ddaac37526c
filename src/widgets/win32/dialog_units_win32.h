#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "widgets/dialog_template.h"

// A DialogTemplate as the dialog manager reads it: an extended template in
// memory, positions and sizes in dialog units of the system's dialog font.
namespace dialog_win32 {

inline constexpr wchar_t kDialogFontName[] = L"MS Shell Dlg";
inline constexpr WORD kDialogFontPoints = 8;

DWORD DialogStyle(const DialogTemplate& dialog);
DWORD DialogExStyle(const DialogTemplate& dialog);
// `first` is the first control of the table, which opens the tab group.
DWORD ControlStyle(const ControlTemplate& control, bool first);
DWORD ControlExStyle(const ControlTemplate& control);

// The resource ID a Picture or Icon caption names; 0 when it names none.
WORD ImageResourceId(const std::string& caption);

// DLGTEMPLATEEX and one DLGITEMTEMPLATEEX per control, in the table's order,
// for DialogBoxIndirectParamW. Held as WORDs, so that it starts aligned as
// the template must.
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog);

}  // namespace dialog_win32
