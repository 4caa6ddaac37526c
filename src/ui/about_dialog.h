#pragma once

#include "widgets/dialog.h"

// The About box.
class AboutDialog : public Dialog {
  public:
    explicit AboutDialog(Dialog* parent = nullptr);
};
