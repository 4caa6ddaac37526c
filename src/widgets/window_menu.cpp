#include "widgets/window_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMetaObject>

#include <utility>

#include "framework/resource_ids.h"
#include "framework/texts.h"

WindowMenu::WindowMenu(std::function<void(int)> onCommand) : m_onCommand(std::move(onCommand)) {
    m_entries.push_back({kString, res::SC_MINIMIZE, QString::fromUtf8(text::kMenuMinimize)});
    m_entries.push_back({kString, res::SC_CLOSE, QString::fromUtf8(text::kMenuClose)});
}

void WindowMenu::AppendMenu(unsigned flags, int id, const QString& text) {
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
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
        if (entry.id == res::SC_CLOSE) {
            action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
        }
        const int id = entry.id;
        QObject::connect(action, &QAction::triggered, owner, [this, owner, id] {
            QMetaObject::invokeMethod(
                owner, [this, id] { m_onCommand(id); }, Qt::QueuedConnection);
        });
    }
    menu->popup(globalPos);
    return menu;
}
