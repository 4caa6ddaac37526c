#include "widgets/window_menu.h"

#include <utility>

#include "framework/resource_ids.h"
#include "framework/texts.h"

WindowMenu::WindowMenu(std::function<void(int)> onCommand) : m_onCommand(std::move(onCommand)) {
    m_entries.push_back({kString, res::SC_MINIMIZE, text::kMenuMinimize});
    m_entries.push_back({kString, res::SC_CLOSE, text::kMenuClose});
}

void WindowMenu::AppendMenu(unsigned flags, int id, const std::string& text) {
    m_entries.push_back({flags, id, text});
}

bool WindowMenu::CheckMenuItem(int id, bool checked) {
    bool found = false;
    for (Entry& entry : m_entries) {
        if (entry.flags == kString && entry.id == id) {
            entry.checked = checked;
            entry.checkable = true;
            found = true;
        }
    }
    return found;
}
