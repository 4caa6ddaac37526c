#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QShortcut>
#include <QToolTip>

#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "widgets/qt/dialog_window.h"
#include "widgets/qt/image_resources_qt.h"
#include "widgets/qt/main_window.h"
#include "widgets/qt/progress_bar_widget.h"
#include "widgets/qt/value_label.h"
#include "widgets/ui_thread.h"

namespace {

// Rounds like the integer scaling of dialog units always has.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product >= 0 ? product + denominator / 2 : product - denominator / 2) /
                            denominator);
}

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// A label that shows its text as it stands and offers no link, whatever the
// text holds: it shows versions, folders and part names from the server.
// Qt's own guess (Qt::AutoText) would read one that looks like markup as
// markup, loading the images it names. Set before the label has any text.
void MakePlainLabel(QLabel* label) {
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setOpenExternalLinks(false);
}

// The controls of a dialog for another thread: each call is queued for the
// user-interface thread, where the calls run in order; the caller does not
// wait, as none of them has an answer. A message box from that thread goes
// through the same queue, so it comes after the changes made before it.
class ThreadSafeItems : public DialogItems {
  public:
    explicit ThreadSafeItems(Dialog& dialog) : m_dialog(dialog) {}

    void SetItemText(int id, const std::string& text) override {
        PostToUiThread([this, id, text] { m_dialog.SetDlgItemText(id, text); });
    }
    void ShowItem(int id, bool show) override {
        PostToUiThread([this, id, show] { m_dialog.ShowItem(id, show); });
    }
    void EnableItem(int id, bool enable) override {
        PostToUiThread([this, id, enable] { m_dialog.EnableItem(id, enable); });
    }
    // There is one worker, and it works for the main window: the calls of
    // the whole program close with it.
    void Close() override { CloseUiThreadCalls(); }

  private:
    Dialog& m_dialog;
};

}  // namespace

Dialog::Dialog(const DialogTemplate& dialogTemplate, Dialog* parent)
    : m_template(dialogTemplate), m_items(std::make_unique<ThreadSafeItems>(*this)) {
    if ((m_template.style & kDialogSysMenu) != 0) {
        m_menu = std::make_unique<WindowMenu>([this](int id) { OnSysCommand(id); });
    }
    m_window = std::make_unique<DialogWindow>(*this, m_template,
                                              parent != nullptr ? &parent->Window() : nullptr);
}

Dialog::~Dialog() = default;

DialogWindow::DialogWindow(Dialog& dialog, const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_template(dialogTemplate) {
    setWindowTitle(FromLocal(m_template.caption));
    setAccessibleName(windowTitle());
    // An application window has its own entry in the taskbar and in Alt+Tab;
    // the others are dialogs of the window that owns them.
    const bool appWindow = (m_template.style & kDialogAppWindow) != 0;
    Qt::WindowFlags flags =
        (appWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if ((m_template.style & kDialogSysMenu) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (appWindow) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        // Alt+Space is often the window manager's; Shift+F10 and the Menu
        // key (a context-menu event) reach the menu on every desktop.
        for (const QKeySequence& keys :
             {QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
            auto* shortcut = new QShortcut(keys, this);
            connect(shortcut, &QShortcut::activated, this,
                    [this] { OpenWindowMenu(mapToGlobal(QPoint(0, 0))); });
        }
        // Where no window manager takes Alt+F4, the window's own Close does.
        auto* close = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
        connect(close, &QShortcut::activated, this,
                [this] { m_dialog.OnSysCommand(res::SC_CLOSE); });
    }
    setWindowFlags(flags);
    if (appWindow) {
        SetMainWindow(this);
    }
}

DialogWindow::~DialogWindow() = default;

QRect DialogWindow::MapDialogRect(int x, int y, int cx, int cy) const {
    return QRect(MulDiv(x, m_baseX, 4), MulDiv(y, m_baseY, 8), MulDiv(cx, m_baseX, 4),
                 MulDiv(cy, m_baseY, 8));
}

void DialogWindow::Create() {
    if (m_created) {
        return;
    }
    m_created = true;
    // Dialog units come from the dialog font: the average width of the
    // letters and the line height. The average is rounded up, not down: the
    // texts were fitted to a narrower font than the sans-serif fonts here.
    const QFontMetrics metrics(font());
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters + 51) / 52;
    m_baseY = metrics.height();
    setFixedSize(MapDialogRect(0, 0, m_template.cx, m_template.cy).size());

    std::vector<QWidget*> groupBoxes;
    for (const ControlTemplate& control : m_template.controls) {
        QWidget* widget = CreateControl(control);
        widget->setGeometry(MapDialogRect(control.x, control.y, control.cx, control.cy));
        widget->setEnabled((control.style & kStyleDisabled) == 0);
        if (!control.accessibleName.empty()) {
            widget->setAccessibleName(FromLocal(control.accessibleName));
        }
        if (auto* label = qobject_cast<QLabel*>(widget);
            label && !control.valueDescription.empty()) {
            MakeValueLabel(label, FromLocal(control.valueDescription));
        }
        if (control.kind == ControlKind::GroupBox) {
            groupBoxes.push_back(widget);
        }
        m_controls.push_back(widget);
        if (control.id != res::IDC_STATIC) {
            m_byId.emplace(control.id, widget);
        }
    }
    // A group box only frames the controls it encloses; kept beneath them so
    // that it never takes their clicks.
    for (QWidget* box : groupBoxes) {
        box->lower();
    }
}

QWidget* DialogWindow::CreateControl(const ControlTemplate& control) {
    const QString caption = FromLocal(control.caption);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(caption, this);
            button->setAccessibleName(
                QString(caption).replace(QLatin1Char('\n'), QLatin1Char(' ')));
            button->setDefault(control.kind == ControlKind::DefPushButton);
            const int id = control.id;
            connect(button, &QPushButton::clicked, this, [this, id] { m_dialog.OnCommand(id); });
            return button;
        }
        case ControlKind::Text: {
            auto* label = new QLabel(this);
            MakePlainLabel(label);
            label->setText(caption);
            if (!control.valueDescription.empty()) {
                MakeValueLabel(label, FromLocal(control.valueDescription));
            }
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::GroupBox:
            return new QGroupBox(caption, this);
        case ControlKind::Progress:
            return new ProgressBarWidget(this);
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(caption, this);
            edit->setFrame((control.style & kStyleBorder) != 0);
            return edit;
        }
        case ControlKind::Picture: {
            auto* picture = new QLabel(this);
            MakePlainLabel(picture);
            picture->setPixmap(LoadBitmapResource(std::stoi(control.caption)));
            picture->setScaledContents(true);
            return picture;
        }
        case ControlKind::Icon: {
            auto* icon = new QLabel(this);
            MakePlainLabel(icon);
            const QRect rect = MapDialogRect(0, 0, control.cx, control.cy);
            icon->setPixmap(LoadIconResource(std::stoi(control.caption)).pixmap(rect.size()));
            return icon;
        }
    }
    return new QWidget(this);
}

QWidget* DialogWindow::Item(int id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

QMenu* DialogWindow::OpenWindowMenu(const QPoint& globalPos) {
    WindowMenu* windowMenu = m_dialog.GetSystemMenu();
    if (windowMenu == nullptr) {
        return nullptr;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QString::fromUtf8(text::kWindowMenuName));
    for (const WindowMenu::Entry& entry : windowMenu->Entries()) {
        if (entry.flags == WindowMenu::kSeparator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(FromLocal(entry.text));
        action->setData(entry.id);
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
        if (entry.id == res::SC_CLOSE) {
            action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
        }
        const int id = entry.id;
        connect(action, &QAction::triggered, this,
                [this, id] { m_dialog.ChooseWindowMenuEntry(id); });
    }
    menu->popup(globalPos);
    return menu;
}

// Enter on the default button and Escape arrive here through QDialog.
void DialogWindow::accept() {
    m_dialog.OnCommand(res::IDOK);
}

void DialogWindow::reject() {
    m_dialog.OnCommand(res::IDCANCEL);
}

void DialogWindow::done(int result) {
    m_dialog.OnEnding();
    QDialog::done(result);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The dialog decides in OnClose whether and how it ends.
    event->ignore();
    m_dialog.OnClose();
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (OpenWindowMenu(event->globalPos()) != nullptr) {
        event->accept();
    }
}

QWidget* ControlWidget(const Dialog& dialog, int id) {
    return dialog.Window().Item(id);
}

DialogWindow& WindowOf(const Dialog& dialog) {
    return dialog.Window();
}

QString LiteralToolTip(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

std::string WidgetText(const QWidget* widget) {
    QString value;
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        value = label->text();
    } else if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        value = edit->text();
    } else if (auto* button = qobject_cast<const QPushButton*>(widget)) {
        value = button->text();
    } else if (auto* box = qobject_cast<const QGroupBox*>(widget)) {
        value = box->title();
    }
    return value.toLocal8Bit().toStdString();
}

int Dialog::DoModal() {
    m_window->Create();
    OnInitDialog();
    return m_window->exec();
}

void Dialog::EndDialog(int result) {
    m_window->done(result);
}

Dialog* Dialog::ActiveModal() {
    auto* window = dynamic_cast<DialogWindow*>(QApplication::activeModalWidget());
    return window != nullptr ? &window->Owner() : nullptr;
}

bool Dialog::IsOpen() const {
    return m_window->isVisible();
}

bool Dialog::IsActive() const {
    return m_window->isActiveWindow();
}

void Dialog::CloseWindow() {
    m_window->close();
}

void Dialog::Minimize() {
    m_window->showMinimized();
}

bool Dialog::HasItem(int id) const {
    return m_window->Item(id) != nullptr;
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    QWidget* item = m_window->Item(id);
    const QString value = FromLocal(text);
    if (auto* label = qobject_cast<QLabel*>(item)) {
        // Plain from its making (CreateControl); said again for any label,
        // as this is where the server's texts arrive.
        MakePlainLabel(label);
        label->setText(value);
        ValueLabelChanged(label);
    } else if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QPushButton*>(item)) {
        button->setText(value);
    } else if (auto* box = qobject_cast<QGroupBox*>(item)) {
        box->setTitle(value);
    }
}

std::string Dialog::GetDlgItemText(int id) const {
    return WidgetText(m_window->Item(id));
}

void Dialog::EnableItem(int id, bool enable) {
    if (QWidget* item = m_window->Item(id)) {
        item->setEnabled(enable);
    }
}

bool Dialog::IsItemEnabled(int id) const {
    const QWidget* item = m_window->Item(id);
    return item != nullptr && item->isEnabled();
}

void Dialog::ShowItem(int id, bool show) {
    if (QWidget* item = m_window->Item(id)) {
        item->setVisible(show);
    }
}

bool Dialog::IsItemVisible(int id) const {
    const QWidget* item = m_window->Item(id);
    return item != nullptr && !item->isHidden();
}

void Dialog::FocusItem(int id, bool selectAll) {
    QWidget* item = m_window->Item(id);
    if (item == nullptr) {
        return;
    }
    item->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(item); edit != nullptr && selectAll) {
        edit->selectAll();
    }
}

int Dialog::FocusedItem() const {
    const QWidget* focused = m_window->focusWidget();
    for (const ControlTemplate& control : m_template.controls) {
        if (control.id != res::IDC_STATIC && m_window->Item(control.id) == focused) {
            return control.id;
        }
    }
    return res::IDC_STATIC;
}

void Dialog::SetItemToolTip(int id, const std::string& text) {
    QWidget* item = m_window->Item(id);
    if (item == nullptr) {
        return;
    }
    // Shown as it stands: a tooltip has no plain-text setting of its own.
    const QString tip = LiteralToolTip(FromLocal(text));
    item->setToolTip(tip);
    // A tooltip on show keeps its text; one the user is reading follows.
    if (QToolTip::isVisible() && item->underMouse()) {
        QToolTip::showText(QCursor::pos(), tip, item);
    }
}

std::string Dialog::GetItemToolTip(int id) const {
    const QWidget* item = m_window->Item(id);
    return item != nullptr ? item->toolTip().toLocal8Bit().toStdString() : std::string();
}

void Dialog::SetItemDescription(int id, const std::string& text) {
    if (QWidget* item = m_window->Item(id)) {
        item->setAccessibleDescription(FromLocal(text));
    }
}

std::string Dialog::GetItemDescription(int id) const {
    const QWidget* item = m_window->Item(id);
    return item != nullptr ? item->accessibleDescription().toLocal8Bit().toStdString()
                           : std::string();
}

void Dialog::BindProgress(int id, ProgressCtrl& control) {
    auto* bar = dynamic_cast<ProgressBarWidget*>(m_window->Item(id));
    if (bar != nullptr && bar->Control() == nullptr) {
        bar->Bind(&control);
    }
}

Dialog::ProgressShown Dialog::GetProgressShown(int id) const {
    const auto* bar = dynamic_cast<const QProgressBar*>(m_window->Item(id));
    if (bar == nullptr) {
        return {};
    }
    return {bar->minimum(), bar->maximum(), bar->value()};
}

void Dialog::ClickItem(int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(m_window->Item(id))) {
        button->click();
    }
}

void Dialog::SetIcon(int iconResource) {
    m_window->setWindowIcon(LoadIconResource(iconResource));
}

bool Dialog::OpenWindowMenu() {
    return m_window->OpenWindowMenu(m_window->mapToGlobal(QPoint(5, 5))) != nullptr;
}

void Dialog::ChooseWindowMenuEntry(int command) {
    // After the menu's own handling: a command that ends the dialog must not
    // run under it.
    QMetaObject::invokeMethod(
        m_window.get(),
        [this, command] {
            if (m_menu != nullptr) {
                m_menu->Run(command);
            }
        },
        Qt::QueuedConnection);
}

void Dialog::UnbindProgressBars() {
    for (QWidget* control : m_window->Controls()) {
        if (auto* bar = dynamic_cast<ProgressBarWidget*>(control)) {
            bar->Bind(nullptr);
        }
    }
}
