#include "ui/proxy_dialog.h"

#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "ui/dialog_templates.h"
#include "widgets/data_exchange.h"

namespace {

constexpr unsigned kLowestPort = 1;
constexpr unsigned kHighestPort = 65535;

}  // namespace

ProxyDialog::ProxyDialog(Dialog* parent) : Dialog(ProxyDialogTemplate(), parent) {}

bool ProxyDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    // Typing goes straight into the host field.
    FocusItem(res::IDC_PROXY_HOST);
    return false;
}

void ProxyDialog::DoDataExchange(DataExchange& dx) {
    DDX_Text(dx, res::IDC_PROXY_PORT, m_nProxyPort);
    DDX_Text(dx, res::IDC_PROXY_HOST, m_strProxyHost);
    // Without a host the port is not used at all.
    if (!m_strProxyHost.empty()) {
        DDV_MinMaxUInt(dx, res::IDC_PROXY_PORT, m_nProxyPort, kLowestPort, kHighestPort,
                       text::kEnterPortNumber);
    }
}
