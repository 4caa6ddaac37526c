#include "widgets/window_menu.h"

#include <QAction>
#include <QMenu>

#include <utility>

#include "framework/resource_ids.h"
#include "framework/texts.h"

WindowMenu::WindowMenu(std::function<void(int)> onCommand) : m_onCommand(std::move(onCommand)) {
    m_entries.push_back({kString, res::SC_MINIMIZE, QString::fromUtf8(text::kMenuMinimize), false});
    m_entries.push_back({kString, res::SC_CLOSE, QString::fromUtf8(text::kMenuClose), false});
}

void WindowMenu::AppendMenu(unsigned flags, int id, const QString& text) {
    m_entries.push_back({flags, id, text, false});
}

bool WindowMenu::CheckMenuItem(int id, bool checked) {
    bool found = false;
    for (Entry& entry : m_entries) {
        if (entry.flags == kString && entry.id == id) {
            entry.checked = checked;
            found = true;
        }
    }
    return found;
}

QMenu* WindowMenu::Popup(QWidget* owner, const QPoint& globalPos) {
    auto* menu = new QMenu(owner);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QString::fromUtf8(text::kWindowMenuName));
    for (const Entry& entry : m_entries) {
        if (entry.flags == kSeparator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        action->setData(entry.id);
        if (entry.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        const int id = entry.id;
        QObject::connect(action, &QAction::triggered, menu, [this, id] { m_onCommand(id); });
    }
    menu->popup(globalPos);
    return menu;
}
