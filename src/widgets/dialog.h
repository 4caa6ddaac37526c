#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "framework/dialog_items.h"
#include "widgets/dialog_template.h"
#include "widgets/window_menu.h"

// windows.h names two of the members below as macros of its A and W
// functions; once it is in, they are this class's own.
#ifdef _WIN32
#undef SetDlgItemText
#undef GetDlgItemText
#endif

class DataExchange;
class DialogWindow;
class ProgressCtrl;

// A modal dialog built from its template. Controls are found by ID, buttons
// reach handlers through one command map, data moves between members and
// controls through DoDataExchange, and the window menu stands in for the
// system menu. Derived dialogs override the On... handlers. Every text a
// dialog shows is plain text, never markup or a link. The window itself is
// the platform's (DialogWindow, in widgets/qt/ or widgets/win32/): nothing of it shows in
// this interface.
class Dialog {
  public:
    explicit Dialog(const DialogTemplate& dialogTemplate, Dialog* parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Builds the controls, runs OnInitDialog before the window shows, then
    // runs the dialog until it ends; returns the code it ended with.
    int DoModal();
    void EndDialog(int result);
    // While the dialog runs and shows.
    bool IsOpen() const;
    // The window has the user's attention (it is the active window).
    bool IsActive() const;
    void Minimize();
    // Asks the window to close, as its close box does: OnClose decides.
    void CloseWindow();

    // Controls by ID; an unknown ID does nothing, reads empty or false.
    bool HasItem(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void EnableItem(int id, bool enable);
    bool IsItemEnabled(int id) const;
    void ShowItem(int id, bool show);
    bool IsItemVisible(int id) const;
    // Puts the keyboard focus on the control; with `selectAll` an edit's
    // text is selected too, ready to be typed over.
    void FocusItem(int id, bool selectAll = false);
    int FocusedItem() const;
    // Shown when the pointer rests on it (and, while shown, kept current).
    void SetItemToolTip(int id, const std::string& text);
    std::string GetItemToolTip(int id) const;
    // What assistive technology reads as the control's description.
    void SetItemDescription(int id, const std::string& text);
    std::string GetItemDescription(int id) const;
    // A progress control shows the object from now on; once.
    void BindProgress(int id, ProgressCtrl& control);
    // What a progress control shows now.
    struct ProgressShown {
        int lower = 0;
        int upper = 0;
        int pos = 0;
    };
    ProgressShown GetProgressShown(int id) const;
    // Presses a button as the user would (its command runs now).
    void ClickItem(int id);
    // The window's icon, from the icon resource.
    void SetIcon(int iconResource);

    // Null when the template has no system menu.
    WindowMenu* GetSystemMenu() { return m_menu.get(); }
    // Opens the window menu as a right click or Shift+F10 would; false
    // without one. A command chosen in it runs once the menu has closed.
    bool OpenWindowMenu();
    // Chooses a window-menu entry as the user would: the system command
    // runs once the menu's own handling is over.
    void ChooseWindowMenuEntry(int command);

    // False when a field did not validate; the dialog has told the user.
    bool UpdateData(bool saveAndValidate = true);

    // The controls for code that runs on another thread.
    DialogItems& Items() { return *m_items; }
    const DialogTemplate& Template() const { return m_template; }
    // The platform's window, for the platform's own code.
    DialogWindow& Window() const { return *m_window; }
    // The dialog whose window runs modally in front now, or null.
    static Dialog* ActiveModal();

    // What the window calls; the command map and the handlers decide.
    void OnCommand(int id);
    virtual void OnClose();
    virtual void OnSysCommand(int id);
    // However the dialog ends, before its window goes.
    virtual void OnEnding() {}

  protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    virtual void OnOK();
    virtual void OnCancel();

    void MapCommand(int id, std::function<void()> handler);
    // Detaches the progress controls from the objects they show, for a
    // dialog whose objects go before its window.
    void UnbindProgressBars();

  private:
    const DialogTemplate& m_template;
    std::unique_ptr<DialogWindow> m_window;
    std::map<int, std::function<void()>> m_commands;
    std::unique_ptr<WindowMenu> m_menu;
    std::unique_ptr<DialogItems> m_items;
};
