#pragma once

#include <functional>
#include <string>
#include <vector>

// windows.h names AppendMenu as a macro of its A and W functions; once it is
// in, the name is this class's own.
#ifdef _WIN32
#undef AppendMenu
#endif

// The dialog's window menu: "Minimize" and "Close", then what the dialog
// appends. Opened by a right click on the dialog, the context-menu key,
// Shift+F10 or Alt+Space; a chosen entry reaches the dialog as a system
// command once the menu has closed, so that a command that ends the dialog
// never runs under the menu's own event handling.
class WindowMenu {
  public:
    static constexpr unsigned kString = 0;
    static constexpr unsigned kSeparator = 1;

    struct Entry {
        unsigned flags;
        int id;
        std::string text;
        bool checked = false;
        // An entry ever given a check mark is one of a choice: it shows as
        // checkable, checked or not.
        bool checkable = false;
    };

    explicit WindowMenu(std::function<void(int)> onCommand);

    void AppendMenu(unsigned flags, int id = 0, const std::string& text = {});
    // Returns false when no entry has that command ID.
    bool CheckMenuItem(int id, bool checked);
    const std::vector<Entry>& Entries() const { return m_entries; }
    // What choosing the entry runs (the platform's menu queues it first).
    void Run(int id) const { m_onCommand(id); }

  private:
    std::function<void(int)> m_onCommand;
    std::vector<Entry> m_entries;
};
