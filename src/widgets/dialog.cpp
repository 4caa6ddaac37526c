#include "widgets/dialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "framework/resource_ids.h"
#include "widgets/data_exchange.h"
#include "widgets/image_resources.h"
#include "widgets/main_window.h"
#include "widgets/progress_bar_widget.h"
#include "widgets/ui_thread.h"
#include "widgets/value_label.h"

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
        PostToUiThread([this, id, show] {
            if (QWidget* item = m_dialog.GetDlgItem(id)) {
                item->setVisible(show);
            }
        });
    }
    void EnableItem(int id, bool enable) override {
        PostToUiThread([this, id, enable] {
            if (QWidget* item = m_dialog.GetDlgItem(id)) {
                item->setEnabled(enable);
            }
        });
    }
    // There is one worker, and it works for the main window: the calls of
    // the whole program close with it.
    void Close() override { CloseUiThreadCalls(); }

  private:
    Dialog& m_dialog;
};

}  // namespace

Dialog::Dialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent),
      m_template(dialogTemplate),
      m_items(std::make_unique<ThreadSafeItems>(*this)) {
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
        m_menu = std::make_unique<WindowMenu>([this](int id) { OnSysCommand(id); });
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
        connect(close, &QShortcut::activated, this, [this] { OnSysCommand(res::SC_CLOSE); });
    }
    setWindowFlags(flags);
    if (appWindow) {
        SetMainWindow(this);
    }
}

Dialog::~Dialog() = default;

QRect Dialog::MapDialogRect(int x, int y, int cx, int cy) const {
    return QRect(MulDiv(x, m_baseX, 4), MulDiv(y, m_baseY, 8), MulDiv(cx, m_baseX, 4),
                 MulDiv(cy, m_baseY, 8));
}

void Dialog::Create() {
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

QWidget* Dialog::CreateControl(const ControlTemplate& control) {
    const QString caption = FromLocal(control.caption);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(caption, this);
            button->setAccessibleName(
                QString(caption).replace(QLatin1Char('\n'), QLatin1Char(' ')));
            button->setDefault(control.kind == ControlKind::DefPushButton);
            const int id = control.id;
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
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

int Dialog::DoModal() {
    Create();
    OnInitDialog();
    return exec();
}

void Dialog::EndDialog(int result) {
    done(result);
}

QWidget* Dialog::GetDlgItem(int id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    QWidget* item = GetDlgItem(id);
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

std::string Dialog::GetDlgItemText(int id) const {
    return WidgetText(GetDlgItem(id));
}

QMenu* Dialog::OpenWindowMenu(const QPoint& globalPos) {
    return m_menu ? m_menu->Popup(this, globalPos) : nullptr;
}

bool Dialog::UpdateData(bool saveAndValidate) {
    DataExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(res::IDOK);
    }
}

void Dialog::OnCancel() {
    EndDialog(res::IDCANCEL);
}

void Dialog::OnClose() {
    OnCancel();
}

void Dialog::OnSysCommand(int id) {
    if (id == res::SC_MINIMIZE) {
        showMinimized();
    } else if (id == res::SC_CLOSE) {
        OnClose();
    }
}

void Dialog::UnbindProgressBars() {
    for (QWidget* control : m_controls) {
        if (auto* bar = dynamic_cast<ProgressBarWidget*>(control)) {
            bar->Bind(nullptr);
        }
    }
}

void Dialog::MapCommand(int id, std::function<void()> handler) {
    m_commands[id] = std::move(handler);
}

void Dialog::OnCommand(int id) {
    auto it = m_commands.find(id);
    if (it != m_commands.end()) {
        it->second();
    } else if (id == res::IDOK) {
        OnOK();
    } else if (id == res::IDCANCEL) {
        OnCancel();
    }
}

// Enter on the default button and Escape arrive here through QDialog.
void Dialog::accept() {
    OnCommand(res::IDOK);
}

void Dialog::reject() {
    OnCommand(res::IDCANCEL);
}

void Dialog::closeEvent(QCloseEvent* event) {
    // The dialog decides in OnClose whether and how it ends.
    event->ignore();
    OnClose();
}

void Dialog::contextMenuEvent(QContextMenuEvent* event) {
    if (OpenWindowMenu(event->globalPos()) != nullptr) {
        event->accept();
    }
}
