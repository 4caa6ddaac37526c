#include "widgets/data_exchange.h"

#include <QLineEdit>

#include <cstdio>

#include "framework/message_box.h"
#include "framework/texts.h"
#include "widgets/dialog.h"
#include "widgets/progress_bar_widget.h"

void DataExchange::Fail(int id) {
    m_failed = true;
    if (auto* edit = qobject_cast<QLineEdit*>(m_dialog.GetDlgItem(id))) {
        edit->setFocus();
        edit->selectAll();
    }
}

void DDX_Text(DataExchange& dx, int id, std::string& value) {
    if (dx.Failed()) {
        return;
    }
    if (dx.m_bSaveAndValidate) {
        value = dx.m_dialog.GetDlgItemText(id);
    } else {
        dx.m_dialog.SetDlgItemText(id, value);
    }
}

void DDX_Text(DataExchange& dx, int id, unsigned& value) {
    if (dx.Failed()) {
        return;
    }
    if (!dx.m_bSaveAndValidate) {
        dx.m_dialog.SetDlgItemText(id, std::to_string(value));
        return;
    }
    const std::string text = dx.m_dialog.GetDlgItemText(id);
    unsigned parsed = 0;
    // "%u" would take "-5" as a huge number; a port is never negative.
    const std::size_t first = text.find_first_not_of(" \t");
    const bool negative = first != std::string::npos && text[first] == '-';
    if (negative || std::sscanf(text.c_str(), "%u", &parsed) != 1) {
        ShowMessageBox(text::kEnterPositiveInteger);
        dx.Fail(id);
        return;
    }
    value = parsed;
}

void DDX_Control(DataExchange& dx, int id, ProgressCtrl& control) {
    auto* bar = dynamic_cast<ProgressBarWidget*>(dx.m_dialog.GetDlgItem(id));
    if (bar != nullptr && bar->Control() == nullptr) {
        bar->Bind(&control);
    }
}
