#include "ui/proxy_dialog.h"

#include "framework/resource_ids.h"
#include "ui/dialog_templates.h"
#include "widgets/data_exchange.h"

ProxyDialog::ProxyDialog(QWidget* parent) : Dialog(ProxyDialogTemplate(), parent) {}

void ProxyDialog::DoDataExchange(DataExchange& dx) {
    DDX_Text(dx, res::IDC_PROXY_PORT, m_nProxyPort);
    DDX_Text(dx, res::IDC_PROXY_HOST, m_strProxyHost);
}
