#pragma once

#include <string>

// The controls of a dialog as the download library sees them: addressed by
// control ID, changed synchronously. A windowed implementation carries each
// call over to the user-interface thread and returns once it is done there.
class DialogItems {
  public:
    virtual ~DialogItems() = default;

    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
};
