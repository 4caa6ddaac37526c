#pragma once

#include <string>

class Dialog;
class ProgressCtrl;

// One exchange between a dialog's members and its controls: to the controls
// (m_bSaveAndValidate false) or back from them. A field that does not
// validate tells the user, selects itself and fails the exchange; the
// remaining fields are then skipped.
class DataExchange {
  public:
    DataExchange(Dialog& dialog, bool saveAndValidate)
        : m_dialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

    void Fail(int id);
    bool Failed() const { return m_failed; }

    Dialog& m_dialog;
    const bool m_bSaveAndValidate;

  private:
    bool m_failed = false;
};

void DDX_Text(DataExchange& dx, int id, std::string& value);
// Read as "%u": digits after optional blanks, the rest ignored.
void DDX_Text(DataExchange& dx, int id, unsigned& value);
// Fails the exchange back from the controls, with `message`, when the value
// read is outside minimum..maximum.
void DDV_MinMaxUInt(DataExchange& dx, int id, unsigned value, unsigned minimum, unsigned maximum,
                    const std::string& message);
// Binds the progress bar control to the object, once.
void DDX_Control(DataExchange& dx, int id, ProgressCtrl& control);
