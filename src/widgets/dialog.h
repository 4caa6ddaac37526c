#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/dialog_items.h"
#include "widgets/dialog_template.h"
#include "widgets/window_menu.h"

class DataExchange;

// Every text a dialog shows is plain text: its labels show what they are
// given as it stands (versions, folders and part names come from the
// server), and never as markup or as a link.

// A tooltip has no text format of its own: Qt reads one that looks like
// markup as markup. This is markup that shows `text` literally, on the
// lines it has (the paragraph Qt's documentation gives for a tooltip that
// is not to be wrapped), every "<", ">", "&" and quote in it an entity.
// An empty text stays empty: no tooltip.
QString LiteralToolTip(const QString& text);

// The text a control shows: a label's or an edit's text, a button's caption,
// a group box's title; empty for anything else.
std::string WidgetText(const QWidget* widget);

// A modal dialog built from its template. Controls are found by ID, buttons
// reach handlers through one command map, data moves between members and
// controls through DoDataExchange, and the window menu stands in for the
// system menu. Derived dialogs override the On... handlers.
class Dialog : public QDialog {
  public:
    explicit Dialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    ~Dialog() override;

    // Builds the controls, runs OnInitDialog before the window shows, then
    // runs the dialog until it ends; returns the code it ended with.
    int DoModal();
    void EndDialog(int result);

    QWidget* GetDlgItem(int id) const;
    // Every control in template order, -1 IDs included.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    const DialogTemplate& Template() const { return m_template; }
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;

    // Null when the template has no system menu.
    WindowMenu* GetSystemMenu() { return m_menu.get(); }
    QMenu* OpenWindowMenu(const QPoint& globalPos);

    // False when a field did not validate; the dialog has told the user.
    bool UpdateData(bool saveAndValidate = true);

    // The controls for code that runs on another thread.
    DialogItems& Items() { return *m_items; }

    // Pixels for a rectangle in dialog units, from the dialog font.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;

  protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnClose();
    virtual void OnSysCommand(int id);

    void MapCommand(int id, std::function<void()> handler);
    // Detaches the progress bars from the objects they show, for a dialog
    // whose objects go before its widgets.
    void UnbindProgressBars();

    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void Create();
    void OnCommand(int id);
    QWidget* CreateControl(const ControlTemplate& control);

    const DialogTemplate& m_template;
    bool m_created = false;
    int m_baseX = 6;
    int m_baseY = 13;
    std::vector<QWidget*> m_controls;
    std::map<int, QWidget*> m_byId;
    std::map<int, std::function<void()>> m_commands;
    std::unique_ptr<WindowMenu> m_menu;
    std::unique_ptr<DialogItems> m_items;
};
