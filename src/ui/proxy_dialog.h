#pragma once

#include <string>

#include "widgets/dialog.h"

// Asks for an HTTP proxy server as host and port.
class ProxyDialog : public Dialog {
  public:
    explicit ProxyDialog(Dialog* parent = nullptr);

    unsigned m_nProxyPort = 0;
    std::string m_strProxyHost;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(DataExchange& dx) override;
};
