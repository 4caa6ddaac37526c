#include "widgets/dialog.h"

#include "framework/resource_ids.h"
#include "widgets/data_exchange.h"

// The parts of a dialog that are the same on every platform: the command
// map, data exchange and the default handlers. dialog_qt.cpp holds the rest.

bool Dialog::UpdateData(bool saveAndValidate) {
    DataExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(res::IDOK);
    }
}

void Dialog::OnCancel() {
    EndDialog(res::IDCANCEL);
}

void Dialog::OnClose() {
    OnCancel();
}

void Dialog::OnSysCommand(int id) {
    if (id == res::SC_MINIMIZE) {
        Minimize();
    } else if (id == res::SC_CLOSE) {
        OnClose();
    }
}

void Dialog::MapCommand(int id, std::function<void()> handler) {
    m_commands[id] = std::move(handler);
}

void Dialog::OnCommand(int id) {
    auto it = m_commands.find(id);
    if (it != m_commands.end()) {
        it->second();
    } else if (id == res::IDOK) {
        OnOK();
    } else if (id == res::IDCANCEL) {
        OnCancel();
    }
}
