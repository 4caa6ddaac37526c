#pragma once

#include <string>

// The controls of a dialog as the download library sees them, addressed by
// control ID. A windowed implementation carries each call over to the
// user-interface thread, in order; a call from another thread may return
// before it is carried out there.
class DialogItems {
  public:
    virtual ~DialogItems() = default;

    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    // The window is going away: from now on calls from other threads
    // return at once without touching it, and so do their message boxes.
    virtual void Close() {}
};
