#pragma once

#include <QDialog>

#include <map>
#include <string>
#include <vector>

#include "widgets/dialog.h"

class QMenu;

// The Qt window of a Dialog: a QDialog holding the controls its template
// names, handing every command, close and menu request to the Dialog.
class DialogWindow : public QDialog {
  public:
    DialogWindow(Dialog& dialog, const DialogTemplate& dialogTemplate, QWidget* parent);
    ~DialogWindow() override;

    // Builds the controls once.
    void Create();
    QWidget* Item(int id) const;
    // Every control in template order, -1 IDs included.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    // Pixels for a rectangle in dialog units, from the dialog font.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;
    // Shows the window menu at a global position without waiting for a
    // choice; null without a menu.
    QMenu* OpenWindowMenu(const QPoint& globalPos);
    Dialog& Owner() const { return m_dialog; }

    // However the dialog ends: the Dialog's OnEnding first.
    void done(int result) override;

  protected:
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QWidget* CreateControl(const ControlTemplate& control);

    Dialog& m_dialog;
    const DialogTemplate& m_template;
    bool m_created = false;
    int m_baseX = 6;
    int m_baseY = 13;
    std::vector<QWidget*> m_controls;
    std::map<int, QWidget*> m_byId;
};

// For the platform's own code and for tests of the Qt pieces themselves
// (layout, fonts, accessibility): the widget of a control, the window.
QWidget* ControlWidget(const Dialog& dialog, int id);
DialogWindow& WindowOf(const Dialog& dialog);

// A tooltip has no text format of its own: Qt reads one that looks like
// markup as markup. This is markup that shows `text` literally, on the
// lines it has, every "<", ">", "&" and quote in it an entity. An empty
// text stays empty: no tooltip.
QString LiteralToolTip(const QString& text);

// The text a control shows: a label's or an edit's text, a button's caption,
// a group box's title; empty for anything else.
std::string WidgetText(const QWidget* widget);
