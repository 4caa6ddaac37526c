#include "ui/speed_limit_dialog.h"

#include <optional>
#include <string>

#include "engine/speed_limit.h"
#include "framework/failure_text.h"
#include "framework/message_box.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/dialog_templates.h"
#include "widgets/data_exchange.h"

SpeedLimitDialog::SpeedLimitDialog(Dialog* parent) : Dialog(SpeedLimitDialogTemplate(), parent) {}

bool SpeedLimitDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    FocusItem(res::IDC_SPEED_LIMIT);
    return false;
}

void SpeedLimitDialog::DoDataExchange(DataExchange& dx) {
    if (!dx.m_bSaveAndValidate) {
        // No limit shows as an empty box, the way it may be entered.
        dx.m_dialog.SetDlgItemText(res::IDC_SPEED_LIMIT, m_nSpeedLimitKiB == 0
                                                             ? std::string()
                                                             : std::to_string(m_nSpeedLimitKiB));
        return;
    }
    const std::optional<std::int64_t> limit =
        ParseSpeedLimit(dx.m_dialog.GetDlgItemText(res::IDC_SPEED_LIMIT));
    if (!limit) {
        // The dialog stays open on the box, with what was typed in it.
        ShowMessageBox(
            Compose(text::kEnterSpeedLimit, {{"least", std::to_string(kLeastSpeedLimitKiB)},
                                             {"most", std::to_string(kMostSpeedLimitKiB)}}));
        dx.Fail(res::IDC_SPEED_LIMIT);
        return;
    }
    m_nSpeedLimitKiB = *limit;
}
