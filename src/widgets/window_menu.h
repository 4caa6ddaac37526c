#pragma once

#include <QPoint>
#include <QString>

#include <functional>
#include <vector>

class QMenu;
class QWidget;

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
        QString text;
        bool checked = false;
        // An entry ever given a check mark is one of a choice: it shows as
        // checkable, checked or not.
        bool checkable = false;
    };

    explicit WindowMenu(std::function<void(int)> onCommand);

    void AppendMenu(unsigned flags, int id = 0, const QString& text = {});
    // Returns false when no entry has that command ID.
    bool CheckMenuItem(int id, bool checked);
    const std::vector<Entry>& Entries() const { return m_entries; }

    // Shows the menu at a global position without waiting for a choice.
    QMenu* Popup(QWidget* owner, const QPoint& globalPos);

  private:
    std::function<void(int)> m_onCommand;
    std::vector<Entry> m_entries;
};
