#pragma once

#include <cstdint>

#include "widgets/dialog.h"

// Asks for the largest speed the download may take, in KiB/s; 0 for none.
class SpeedLimitDialog : public Dialog {
  public:
    explicit SpeedLimitDialog(Dialog* parent = nullptr);

    std::int64_t m_nSpeedLimitKiB = 0;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(DataExchange& dx) override;
};
