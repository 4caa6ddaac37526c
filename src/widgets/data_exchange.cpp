#include "widgets/data_exchange.h"

#include <algorithm>
#include <limits>

#include "framework/message_box.h"
#include "framework/texts.h"
#include "widgets/dialog.h"

void DataExchange::Fail(int id) {
    m_failed = true;
    m_dialog.FocusItem(id, true);
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
    // Read as "%u" reads: digits after optional blanks, the rest ignored. A
    // sign is no digit ("%u" would turn "-5" into a huge number), and a
    // number beyond the type's range reads as its largest value instead of
    // wrapping round.
    const std::string text = dx.m_dialog.GetDlgItemText(id);
    std::size_t i = text.find_first_not_of(" \t");
    unsigned long long parsed = 0;
    bool digits = false;
    for (; i != std::string::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        parsed = std::min<unsigned long long>(parsed * 10 + static_cast<unsigned>(text[i] - '0'),
                                              std::numeric_limits<unsigned>::max());
        digits = true;
    }
    if (!digits) {
        ShowMessageBox(text::kEnterPositiveInteger);
        dx.Fail(id);
        return;
    }
    value = static_cast<unsigned>(parsed);
}

void DDV_MinMaxUInt(DataExchange& dx, int id, unsigned value, unsigned minimum, unsigned maximum,
                    const std::string& message) {
    if (dx.Failed() || !dx.m_bSaveAndValidate) {
        return;
    }
    if (value < minimum || value > maximum) {
        ShowMessageBox(message);
        dx.Fail(id);
    }
}

void DDX_Control(DataExchange& dx, int id, ProgressCtrl& control) {
    dx.m_dialog.BindProgress(id, control);
}
