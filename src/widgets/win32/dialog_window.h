#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// windows.h maps these names to its A and W functions. The Dialog and
// WindowMenu members of the same names must keep their own, which the shared
// code (that never sees windows.h) links to: dialog.h comes after this.
#undef AppendMenu
#undef GetDlgItemText
#undef SetDlgItemText

#include "widgets/dialog.h"

class ProgressCtrl;

// The Win32 window of a Dialog: a modal dialog box made from an in-memory
// template (widgets/win32/dialog_units_win32.h), handing every command,
// close and system-menu request to the Dialog. Each control's state is kept
// here as well as in its window, so that it still reads as it was once the
// box has gone, the way a dialog's fields are read after DoModal. Everything
// here runs on the user-interface thread, apart from the progress objects'
// notifications, which only post a message to the box.
class DialogWindow {
  public:
    // A progress object changed; wParam is the control's index.
    static constexpr UINT kProgressChanged = WM_APP + 1;

    DialogWindow(Dialog& dialog, const DialogTemplate& dialogTemplate, Dialog* parent);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Runs the box until it ends and returns its result (-1 when it could
    // not be made). `onInitDialog` runs on WM_INITDIALOG, before the box
    // shows; false means it has put the focus somewhere itself.
    int RunModal(const std::function<bool()>& onInitDialog);
    // The Dialog's OnEnding first (once per run), then EndDialog.
    void End(int result);
    bool IsOpen() const;
    bool IsActive() const;
    void Minimize();
    // As the close box does: WM_CLOSE, which OnClose decides.
    void Close();

    // Null while no box runs.
    HWND Handle() const { return m_hwnd.load(); }
    Dialog& Owner() const { return m_dialog; }
    // Controls exist from the first run on; an unknown ID reads null.
    bool HasItem(int id) const;
    HWND Item(int id) const;
    // Every control's window in template order, -1 IDs included; null ones
    // while no box runs.
    std::vector<HWND> Controls() const;

    void SetText(int id, const std::string& text);
    std::string Text(int id) const;
    void Enable(int id, bool enable);
    bool IsEnabled(int id) const;
    void Show(int id, bool show);
    bool IsVisible(int id) const;
    void Focus(int id, bool selectAll);
    int FocusedItem() const;
    void SetToolTip(int id, const std::string& text);
    std::string ToolTip(int id) const;
    // The box's tooltip control; null before a control has a tooltip.
    HWND ToolTipWindow() const { return m_toolTip; }
    void SetDescription(int id, const std::string& text);
    std::string Description(int id) const;
    void BindProgress(int id, ProgressCtrl& control);
    void UnbindProgressBars();
    Dialog::ProgressShown ProgressShown(int id) const;
    void Click(int id);
    void SetIcon(int iconResource);

    // Opens the system menu as Alt+Space does, without waiting for it.
    bool OpenWindowMenu();
    // Posts WM_SYSCOMMAND once no menu of this box is open.
    void ChooseWindowMenuEntry(int command);
    // Brings the system menu in step with the WindowMenu: appended
    // entries, check marks. Also done whenever the menu is about to open.
    void SyncSystemMenu();

    // The box in front among those running modally, or null (also while a
    // message box stands in front of it).
    static DialogWindow* ActiveModal();
    // The program's own window (kDialogAppWindow) while it runs, for the
    // boxes it owns; null otherwise.
    static HWND MainWindow();

  private:
    struct Control {
        const ControlTemplate* source = nullptr;
        HWND hwnd = nullptr;
        // What the control showed when its window went, or was given since.
        std::string text;
        bool enabled = true;
        bool visible = true;
        std::string toolTip;
        bool toolAdded = false;
        std::string description;
        ProgressCtrl* progress = nullptr;
        Dialog::ProgressShown shown{0, 100, 0};
        ULONGLONG lastRefresh = 0;
        bool refreshDue = false;
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Exceptions cannot unwind through the system's frames: they end here.
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    BOOL OnInitDialog();
    void OnCommand(WPARAM wParam, LPARAM lParam);
    bool OnSysCommand(int command);
    void OnDestroy();
    void AttachControls();
    void ApplyState(Control& control);
    void CentreOnOwner();

    Control* Find(int id);
    const Control* Find(int id) const;
    Control* FindByHandle(HWND hwnd);
    void MoveFocusFrom(HWND control);
    void ApplyToolTip(Control& control);
    void ApplyIcon();
    void RefreshProgress(std::size_t index);
    void ShowProgress(Control& control, int lower, int upper, int pos);
    void PostProgressChanged(std::size_t index) const;
    bool IsMenuCommand(int command) const;

    Dialog& m_dialog;
    const DialogTemplate& m_template;
    Dialog* m_parent;
    // Read by the progress objects' notifications on the worker's thread.
    std::atomic<HWND> m_hwnd{nullptr};
    const std::function<bool()>* m_onInitDialog = nullptr;
    bool m_created = false;
    bool m_ending = false;
    bool m_inMenu = false;
    std::vector<int> m_deferredCommands;
    std::size_t m_menuMirrored = 0;
    std::vector<Control> m_controls;
    std::map<int, std::size_t> m_byId;
    HWND m_toolTip = nullptr;
    int m_iconResource = 0;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
};
