#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "framework/dialog_items.h"

// Controls without a window: remembers each control's text, visibility and
// enabled state, and logs every call in order. Serves headless runs, the
// tests and the benchmark. Safe to call from any thread.
class HeadlessDialogItems : public DialogItems {
  public:
    struct Item {
        std::string text;
        bool visible = true;
        bool enabled = true;
    };

    void SetItemText(int id, const std::string& text) override;
    void ShowItem(int id, bool show) override;
    void EnableItem(int id, bool enable) override;

    Item Get(int id) const;
    // One line per call, such as "text 1002 Merging Parts", "show 1001 0".
    std::vector<std::string> Log() const;

  private:
    mutable std::mutex m_mutex;
    std::map<int, Item> m_items;
    std::vector<std::string> m_log;
};
