// First: it reads dialog.h once windows.h's renaming macros are undone.
#include "widgets/win32/dialog_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <utility>

#include "framework/progress_ctrl.h"
#include "framework/resource_ids.h"
#include "widgets/ui_thread.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/dialog_units_win32.h"

using dialog_win32::SetWindowTextUtf8;
using dialog_win32::WideFromUtf8;
using dialog_win32::WindowTextUtf8;

// dialog.h must not have been read while windows.h renamed its members
// (dialog_window.h sees to it): the shared code calls them by their names.
static_assert(sizeof(&Dialog::SetDlgItemText) != 0 && sizeof(&WindowMenu::AppendMenu) != 0);

namespace {

// One timer per progress control that waits for its next frame.
constexpr UINT_PTR kProgressTimerBase = 0x7100;
constexpr ULONGLONG kFrameMs = 30;
// Wide enough for a sentence; a tooltip with a width breaks at "\n" too.
constexpr int kToolTipWidthDialogUnits = 250;
// Without lpReserved: every version of the tooltip control accepts this size.
constexpr UINT kToolInfoSize = offsetof(TTTOOLINFOW, lParam) + sizeof(LPARAM);

std::vector<DialogWindow*>& RunningBoxes() {
    static std::vector<DialogWindow*> boxes;
    return boxes;
}

HWND g_mainWindow = nullptr;

bool ShowsText(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::Text:
        case ControlKind::GroupBox:
        case ControlKind::Edit:
            return true;
        case ControlKind::Progress:
        case ControlKind::Picture:
        case ControlKind::Icon:
            return false;
    }
    return false;
}

bool IsPushButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton;
}

bool IsStatic(ControlKind kind) {
    return kind == ControlKind::Text || kind == ControlKind::Picture || kind == ControlKind::Icon;
}

// The system menu's own commands (SC_...); the program's entries lie below.
bool IsSystemCommand(int id) {
    return id >= 0xF000;
}

void InitCommonControlsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX init{};
        init.dwSize = sizeof(init);
        init.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
        InitCommonControlsEx(&init);
    });
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

// The window property that holds a picture's smoothed copy, which the
// dialog deletes when it goes.
constexpr wchar_t kSmoothedImage[] = L"VelmoraSmoothedImage";

// Draws the picture's bitmap at the control's size with smoothing: the
// control's own stretch drops whole rows and columns, and the banner's
// small lettering becomes unreadable.
void SmoothPicture(HWND picture) {
    const auto source =
        reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP original{};
    RECT area{};
    if (source == nullptr || GetObjectW(source, sizeof original, &original) == 0 ||
        !GetClientRect(picture, &area)) {
        return;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0 || (width == original.bmWidth && height == original.bmHeight)) {
        return;
    }
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (from != nullptr && to != nullptr && scaled != nullptr) {
        const HGDIOBJ fromBefore = SelectObject(from, source);
        const HGDIOBJ toBefore = SelectObject(to, scaled);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        const bool drawn = StretchBlt(to, 0, 0, width, height, from, 0, 0, original.bmWidth,
                                      original.bmHeight, SRCCOPY) != FALSE;
        SelectObject(from, fromBefore);
        SelectObject(to, toBefore);
        if (drawn) {
            // The control no longer frees the image it loaded once another
            // replaces it.
            const auto previous = reinterpret_cast<HBITMAP>(SendMessageW(
                picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled)));
            SetPropW(picture, kSmoothedImage, scaled);
            scaled = nullptr;
            if (previous != nullptr && previous != source) {
                DeleteObject(previous);
            }
            DeleteObject(source);
        }
    }
    if (scaled != nullptr) {
        DeleteObject(scaled);
    }
    if (from != nullptr) {
        DeleteDC(from);
    }
    if (to != nullptr) {
        DeleteDC(to);
    }
}

}  // namespace

DialogWindow::DialogWindow(Dialog& dialog, const DialogTemplate& dialogTemplate, Dialog* parent)
    : m_dialog(dialog), m_template(dialogTemplate), m_parent(parent) {
    m_controls.reserve(m_template.controls.size());
    for (const ControlTemplate& source : m_template.controls) {
        Control control;
        control.source = &source;
        if (ShowsText(source.kind)) {
            control.text = source.caption;
        }
        control.enabled = (source.style & kStyleDisabled) == 0;
        if (source.id != res::IDC_STATIC) {
            m_byId.emplace(source.id, m_controls.size());
        }
        m_controls.push_back(std::move(control));
    }
}

DialogWindow::~DialogWindow() {
    UnbindProgressBars();
}

int DialogWindow::RunModal(const std::function<bool()>& onInitDialog) {
    if (Handle() != nullptr) {
        return -1;
    }
    InitCommonControlsOnce();
    const std::vector<WORD> layout = dialog_win32::BuildDialogTemplate(m_template);
    HWND owner = m_parent != nullptr ? m_parent->Window().Handle() : nullptr;
    m_onInitDialog = &onInitDialog;
    m_ending = false;
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), owner,
        &DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
    m_onInitDialog = nullptr;
    return static_cast<int>(result);
}

void DialogWindow::End(int result) {
    HWND hwnd = Handle();
    if (hwnd == nullptr) {
        return;
    }
    if (!m_ending) {
        m_ending = true;
        m_dialog.OnEnding();
    }
    ::EndDialog(hwnd, result);
}

bool DialogWindow::IsOpen() const {
    HWND hwnd = Handle();
    return hwnd != nullptr && !m_ending && IsWindowVisible(hwnd) != FALSE;
}

bool DialogWindow::IsActive() const {
    HWND hwnd = Handle();
    if (hwnd == nullptr || m_ending || IsWindowVisible(hwnd) == FALSE || IsIconic(hwnd) != FALSE) {
        return false;
    }
    // The user works in this window, or in a box it owns (a message box, a
    // small dialog), which stands for it meanwhile.
    for (HWND front = GetForegroundWindow(); front != nullptr; front = GetWindow(front, GW_OWNER)) {
        if (front == hwnd) {
            return true;
        }
    }
    return false;
}

void DialogWindow::Minimize() {
    if (HWND hwnd = Handle()) {
        ShowWindow(hwnd, SW_MINIMIZE);
    }
}

void DialogWindow::Close() {
    if (HWND hwnd = Handle()) {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
    }
}

DialogWindow::Control* DialogWindow::Find(int id) {
    if (!m_created) {
        return nullptr;
    }
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_controls[it->second];
}

const DialogWindow::Control* DialogWindow::Find(int id) const {
    return const_cast<DialogWindow*>(this)->Find(id);
}

DialogWindow::Control* DialogWindow::FindByHandle(HWND hwnd) {
    for (Control& control : m_controls) {
        if (control.hwnd != nullptr && control.hwnd == hwnd) {
            return &control;
        }
    }
    return nullptr;
}

bool DialogWindow::HasItem(int id) const {
    return Find(id) != nullptr;
}

HWND DialogWindow::Item(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->hwnd : nullptr;
}

std::vector<HWND> DialogWindow::Controls() const {
    std::vector<HWND> windows;
    windows.reserve(m_controls.size());
    for (const Control& control : m_controls) {
        windows.push_back(control.hwnd);
    }
    return windows;
}

void DialogWindow::SetText(int id, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr || !ShowsText(control->source->kind)) {
        return;
    }
    control->text = text;
    if (control->hwnd != nullptr) {
        SetWindowTextUtf8(control->hwnd, text);
    }
}

std::string DialogWindow::Text(int id) const {
    const Control* control = Find(id);
    if (control == nullptr || !ShowsText(control->source->kind)) {
        return {};
    }
    return control->hwnd != nullptr ? WindowTextUtf8(control->hwnd) : control->text;
}

// A control that is disabled or hidden while it has the focus would keep it,
// and the keyboard would reach nothing: the focus moves on first.
void DialogWindow::MoveFocusFrom(HWND control) {
    HWND focus = GetFocus();
    if (focus != nullptr && (focus == control || IsChild(control, focus) != FALSE)) {
        SendMessageW(Handle(), WM_NEXTDLGCTL, 0, FALSE);
    }
}

void DialogWindow::Enable(int id, bool enable) {
    Control* control = Find(id);
    if (control == nullptr) {
        return;
    }
    control->enabled = enable;
    if (control->hwnd != nullptr) {
        if (!enable) {
            MoveFocusFrom(control->hwnd);
        }
        EnableWindow(control->hwnd, enable ? TRUE : FALSE);
    }
}

bool DialogWindow::IsEnabled(int id) const {
    const Control* control = Find(id);
    if (control == nullptr) {
        return false;
    }
    return control->hwnd != nullptr ? IsWindowEnabled(control->hwnd) != FALSE : control->enabled;
}

void DialogWindow::Show(int id, bool show) {
    Control* control = Find(id);
    if (control == nullptr) {
        return;
    }
    control->visible = show;
    if (control->hwnd != nullptr) {
        if (!show) {
            MoveFocusFrom(control->hwnd);
        }
        ShowWindow(control->hwnd, show ? SW_SHOWNA : SW_HIDE);
    }
}

bool DialogWindow::IsVisible(int id) const {
    const Control* control = Find(id);
    if (control == nullptr) {
        return false;
    }
    // The control's own flag: IsWindowVisible would also say whether the box
    // shows, which it does not yet while OnInitDialog runs.
    return control->hwnd != nullptr
               ? (GetWindowLongPtrW(control->hwnd, GWL_STYLE) & WS_VISIBLE) != 0
               : control->visible;
}

void DialogWindow::Focus(int id, bool selectAll) {
    Control* control = Find(id);
    HWND hwnd = Handle();
    if (control == nullptr || control->hwnd == nullptr || hwnd == nullptr ||
        IsWindowEnabled(control->hwnd) == FALSE) {
        return;
    }
    const bool edit = control->source->kind == ControlKind::Edit;
    DWORD start = 0;
    DWORD end = 0;
    if (edit && !selectAll) {
        SendMessageW(control->hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
    }
    // Through the dialog manager, which keeps the default button in step.
    // It selects an edit's whole text on the way: the old selection comes
    // back unless the caller wants it all.
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->hwnd), TRUE);
    if (edit) {
        SendMessageW(control->hwnd, EM_SETSEL, selectAll ? 0 : start,
                     selectAll ? static_cast<LPARAM>(-1) : static_cast<LPARAM>(end));
    }
}

int DialogWindow::FocusedItem() const {
    HWND focus = GetFocus();
    if (focus == nullptr || Handle() == nullptr) {
        return res::IDC_STATIC;
    }
    for (const Control& control : m_controls) {
        if (control.hwnd != nullptr &&
            (control.hwnd == focus || IsChild(control.hwnd, focus) != FALSE)) {
            return control.source->id;
        }
    }
    return res::IDC_STATIC;
}

void DialogWindow::SetToolTip(int id, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr) {
        return;
    }
    control->toolTip = text;
    ApplyToolTip(*control);
}

std::string DialogWindow::ToolTip(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->toolTip : std::string();
}

void DialogWindow::ApplyToolTip(Control& control) {
    HWND hwnd = Handle();
    if (hwnd == nullptr || control.hwnd == nullptr ||
        (control.toolTip.empty() && !control.toolAdded)) {
        return;
    }
    if (m_toolTip == nullptr) {
        // Owned by the box, so it goes with it. No prefix: an "&" shows.
        m_toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        if (m_toolTip == nullptr) {
            return;
        }
        RECT width{0, 0, kToolTipWidthDialogUnits, 0};
        MapDialogRect(hwnd, &width);
        SendMessageW(m_toolTip, TTM_SETMAXTIPWIDTH, 0, width.right);
    }
    std::wstring text = WideFromUtf8(control.toolTip);
    TTTOOLINFOW info{};
    info.cbSize = kToolInfoSize;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd;
    info.uId = reinterpret_cast<UINT_PTR>(control.hwnd);
    info.lpszText = text.data();
    const auto tool = reinterpret_cast<LPARAM>(&info);
    if (control.toolTip.empty()) {
        SendMessageW(m_toolTip, TTM_DELTOOLW, 0, tool);
        control.toolAdded = false;
    } else if (!control.toolAdded) {
        if (IsStatic(control.source->kind)) {
            // A static lets the pointer through to the box unless it notifies.
            const LONG_PTR style = GetWindowLongPtrW(control.hwnd, GWL_STYLE);
            SetWindowLongPtrW(control.hwnd, GWL_STYLE, style | SS_NOTIFY);
        }
        control.toolAdded = SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, tool) != FALSE;
    } else {
        // Also changes a tip on show.
        SendMessageW(m_toolTip, TTM_UPDATETIPTEXTW, 0, tool);
    }
}

void DialogWindow::SetDescription(int id, const std::string& text) {
    if (Control* control = Find(id)) {
        control->description = text;
    }
}

std::string DialogWindow::Description(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->description : std::string();
}

void DialogWindow::BindProgress(int id, ProgressCtrl& progress) {
    Control* control = Find(id);
    if (control == nullptr || control->source->kind != ControlKind::Progress ||
        control->progress != nullptr) {
        return;
    }
    control->progress = &progress;
    const auto index = static_cast<std::size_t>(control - m_controls.data());
    // Runs on whichever thread moved the bar: it only posts.
    progress.SetObserver([this, index] { PostProgressChanged(index); });
}

void DialogWindow::PostProgressChanged(std::size_t index) const {
    if (HWND hwnd = m_hwnd.load()) {
        PostMessageW(hwnd, kProgressChanged, index, 0);
    }
}

void DialogWindow::UnbindProgressBars() {
    HWND hwnd = Handle();
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        Control& control = m_controls[i];
        if (control.progress == nullptr) {
            continue;
        }
        // Returns once no notification runs any more.
        control.progress->SetObserver(nullptr);
        control.progress = nullptr;
        if (control.refreshDue && hwnd != nullptr) {
            KillTimer(hwnd, kProgressTimerBase + i);
        }
        control.refreshDue = false;
    }
}

void DialogWindow::RefreshProgress(std::size_t index) {
    Control& control = m_controls[index];
    HWND hwnd = Handle();
    if (control.progress == nullptr || control.refreshDue || hwnd == nullptr) {
        return;
    }
    // At most one update per frame: a fast download would otherwise keep
    // this thread busy painting what nobody can see.
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG since = now - control.lastRefresh;
    if (control.lastRefresh != 0 && since < kFrameMs &&
        SetTimer(hwnd, kProgressTimerBase + index, static_cast<UINT>(kFrameMs - since), nullptr) !=
            0) {
        control.refreshDue = true;
        return;
    }
    control.lastRefresh = now;
    const ProgressCtrl::Snapshot snapshot = control.progress->TakeSnapshot();
    ShowProgress(control, snapshot.lower, snapshot.upper, snapshot.pos);
}

void DialogWindow::ShowProgress(Control& control, int lower, int upper, int pos) {
    // An empty range shows as an empty bar.
    if (upper <= lower) {
        lower = 0;
        upper = 1;
        pos = 0;
    }
    control.shown = {lower, upper, pos};
    if (control.hwnd != nullptr) {
        SendMessageW(control.hwnd, PBM_SETRANGE32, static_cast<WPARAM>(lower),
                     static_cast<LPARAM>(upper));
        SendMessageW(control.hwnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    }
}

Dialog::ProgressShown DialogWindow::ProgressShown(int id) const {
    const Control* control = Find(id);
    if (control == nullptr || control->source->kind != ControlKind::Progress) {
        return {};
    }
    if (control->hwnd == nullptr) {
        return control->shown;
    }
    PBRANGE range{};
    SendMessageW(control->hwnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    const auto pos = static_cast<int>(SendMessageW(control->hwnd, PBM_GETPOS, 0, 0));
    return {range.iLow, range.iHigh, pos};
}

void DialogWindow::Click(int id) {
    Control* control = Find(id);
    HWND hwnd = Handle();
    if (control == nullptr || control->hwnd == nullptr || hwnd == nullptr ||
        !IsPushButton(control->source->kind) || IsWindowEnabled(control->hwnd) == FALSE) {
        return;
    }
    // What the button itself sends when clicked; BM_CLICK would depend on
    // the box being active.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(LOWORD(control->source->id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control->hwnd));
}

void DialogWindow::SetIcon(int iconResource) {
    m_iconResource = iconResource;
    if (Handle() != nullptr) {
        ApplyIcon();
    }
}

void DialogWindow::ApplyIcon() {
    HWND hwnd = Handle();
    HINSTANCE module = GetModuleHandleW(nullptr);
    const LPCWSTR name = MAKEINTRESOURCEW(static_cast<WORD>(m_iconResource));
    // Each size drawn for it: the caption's and Alt+Tab's.
    auto* bigIcon =
        static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                      GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    auto* smallIcon =
        static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    if (m_bigIcon != nullptr) {
        DestroyIcon(m_bigIcon);
    }
    if (m_smallIcon != nullptr) {
        DestroyIcon(m_smallIcon);
    }
    m_bigIcon = bigIcon;
    m_smallIcon = smallIcon;
}

bool DialogWindow::IsMenuCommand(int command) const {
    const WindowMenu* menu = m_dialog.GetSystemMenu();
    if (menu == nullptr) {
        return false;
    }
    return std::any_of(menu->Entries().begin(), menu->Entries().end(),
                       [command](const WindowMenu::Entry& entry) {
                           return entry.flags == WindowMenu::kString && entry.id == command;
                       });
}

bool DialogWindow::OpenWindowMenu() {
    HWND hwnd = Handle();
    if (m_dialog.GetSystemMenu() == nullptr || hwnd == nullptr || m_ending) {
        return false;
    }
    SyncSystemMenu();
    // As Alt+Space: the menu runs from the message loop, not inside this call.
    return PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, L' ') != FALSE;
}

void DialogWindow::ChooseWindowMenuEntry(int command) {
    HWND hwnd = Handle();
    if (hwnd == nullptr) {
        return;
    }
    if (m_inMenu) {
        // Choosing closes the menu; the command follows once it has.
        m_deferredCommands.push_back(command);
        EndMenu();
        return;
    }
    PostMessageW(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

void DialogWindow::SyncSystemMenu() {
    const WindowMenu* menu = m_dialog.GetSystemMenu();
    HWND hwnd = Handle();
    if (menu == nullptr || hwnd == nullptr) {
        return;
    }
    HMENU system = ::GetSystemMenu(hwnd, FALSE);
    if (system == nullptr) {
        return;
    }
    const std::vector<WindowMenu::Entry>& entries = menu->Entries();
    for (; m_menuMirrored < entries.size(); ++m_menuMirrored) {
        const WindowMenu::Entry& entry = entries[m_menuMirrored];
        if (entry.flags == WindowMenu::kSeparator) {
            AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
        } else if (!IsSystemCommand(entry.id)) {
            // Minimize and Close are the system menu's own already.
            AppendMenuW(system, MF_STRING, static_cast<UINT_PTR>(entry.id),
                        WideFromUtf8(entry.text).c_str());
        }
    }
    for (const WindowMenu::Entry& entry : entries) {
        if (entry.flags == WindowMenu::kString && entry.checkable && !IsSystemCommand(entry.id)) {
            CheckMenuItem(system, static_cast<UINT>(entry.id),
                          MF_BYCOMMAND | (entry.checked ? MF_CHECKED : MF_UNCHECKED));
        }
    }
}

DialogWindow* DialogWindow::ActiveModal() {
    const std::vector<DialogWindow*>& running = RunningBoxes();
    for (auto it = running.rbegin(); it != running.rend(); ++it) {
        const DialogWindow* box = *it;
        if (box->m_ending) {
            continue;
        }
        // Disabled while a box of its own (a message box) is in front.
        return IsWindowEnabled(box->Handle()) != FALSE ? *it : nullptr;
    }
    return nullptr;
}

HWND DialogWindow::MainWindow() {
    return g_mainWindow;
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd.store(hwnd);
        return self->HandleMessage(message, wParam, lParam);
    }
    // Nothing before WM_INITDIALOG (WM_SETFONT) needs the Dialog.
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self != nullptr ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR DialogWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    HWND hwnd = Handle();
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            OnCommand(wParam, lParam);
            return TRUE;
        case WM_CLOSE:
            // The dialog decides in OnClose whether and how it ends.
            m_dialog.OnClose();
            return TRUE;
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : FALSE;
        case WM_INITMENUPOPUP:
            if (HIWORD(lParam) != 0) {
                SyncSystemMenu();
            }
            return FALSE;
        case WM_ENTERMENULOOP:
            m_inMenu = true;
            return FALSE;
        case WM_EXITMENULOOP:
            m_inMenu = false;
            for (const int command : std::exchange(m_deferredCommands, {})) {
                PostMessageW(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
            }
            return FALSE;
        case kProgressChanged:
            if (wParam < m_controls.size()) {
                RefreshProgress(wParam);
            }
            return TRUE;
        case WM_TIMER:
            if (wParam >= kProgressTimerBase && wParam - kProgressTimerBase < m_controls.size()) {
                const std::size_t index = wParam - kProgressTimerBase;
                KillTimer(hwnd, wParam);
                m_controls[index].refreshDue = false;
                RefreshProgress(index);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        case WM_NCDESTROY:
            if (m_bigIcon != nullptr) {
                DestroyIcon(m_bigIcon);
                m_bigIcon = nullptr;
            }
            if (m_smallIcon != nullptr) {
                DestroyIcon(m_smallIcon);
                m_smallIcon = nullptr;
            }
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            m_hwnd.store(nullptr);
            return FALSE;
        default:
            return FALSE;
    }
}

BOOL DialogWindow::OnInitDialog() {
    HWND hwnd = Handle();
    AttachControls();
    m_created = true;
    m_menuMirrored = 0;
    // What the controls were given before, in an earlier run, they show again.
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        ApplyState(m_controls[i]);
        if (m_controls[i].source->kind == ControlKind::Picture && m_controls[i].hwnd != nullptr) {
            SmoothPicture(m_controls[i].hwnd);
        }
        if (m_controls[i].progress != nullptr) {
            // A change announced while no box ran was lost with it.
            PostProgressChanged(i);
        }
    }
    if (m_iconResource != 0) {
        ApplyIcon();
    }
    CentreOnOwner();
    if ((m_template.style & kDialogAppWindow) != 0) {
        g_mainWindow = hwnd;
    }
    const bool systemFocus = m_onInitDialog == nullptr || (*m_onInitDialog)();
    // In front from now on, as it is about to show.
    RunningBoxes().push_back(this);
    SyncSystemMenu();
    return systemFocus ? TRUE : FALSE;
}

void DialogWindow::AttachControls() {
    HWND hwnd = Handle();
    // The dialog manager makes the controls in template order, each below
    // the one before: that order tells apart the many with ID -1.
    HWND child = GetWindow(hwnd, GW_CHILD);
    bool inOrder = true;
    for (Control& control : m_controls) {
        if (child == nullptr || GetDlgCtrlID(child) != control.source->id) {
            inOrder = false;
            break;
        }
        control.hwnd = child;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    if (inOrder) {
        return;
    }
    for (Control& control : m_controls) {
        control.hwnd =
            control.source->id != res::IDC_STATIC ? GetDlgItem(hwnd, control.source->id) : nullptr;
    }
}

void DialogWindow::ApplyState(Control& control) {
    if (control.hwnd == nullptr) {
        return;
    }
    if (ShowsText(control.source->kind)) {
        SetWindowTextUtf8(control.hwnd, control.text);
    }
    EnableWindow(control.hwnd, control.enabled ? TRUE : FALSE);
    ShowWindow(control.hwnd, control.visible ? SW_SHOWNA : SW_HIDE);
    if (control.source->kind == ControlKind::Progress) {
        ShowProgress(control, control.shown.lower, control.shown.upper, control.shown.pos);
    }
    ApplyToolTip(control);
}

void DialogWindow::CentreOnOwner() {
    HWND hwnd = Handle();
    HWND owner = GetWindow(hwnd, GW_OWNER);
    // Without one that shows, DS_CENTER has put it on the screen's middle.
    if (owner == nullptr || IsWindowVisible(owner) == FALSE || IsIconic(owner) != FALSE) {
        return;
    }
    RECT ownerRect{};
    RECT rect{};
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(hwnd, &rect);
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    LONG x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
    LONG y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor) != FALSE) {
        const RECT& work = monitor.rcWork;
        // Kept on the screen, its title bar first. (Parenthesised: windows.h
        // has macros named min and max.)
        x = (std::max)(work.left, (std::min)(x, work.right - width));
        y = (std::max)(work.top, (std::min)(y, work.bottom - height));
    }
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND from = reinterpret_cast<HWND>(lParam);
    if (from == nullptr) {
        // A menu, an accelerator, or Escape without a Cancel button.
        m_dialog.OnCommand(LOWORD(wParam));
    } else if (const Control* control = FindByHandle(from); control != nullptr &&
                                                            IsPushButton(control->source->kind) &&
                                                            HIWORD(wParam) == BN_CLICKED) {
        // Only a button's click is a command; edits and statics notify too.
        m_dialog.OnCommand(control->source->id);
    } else {
        return;
    }
    // A command may have chosen another entry of the menu (a check mark).
    SyncSystemMenu();
}

bool DialogWindow::OnSysCommand(int command) {
    // Move, Restore, the keyboard's menu and the like are the system's.
    if (!IsMenuCommand(command)) {
        return false;
    }
    if (m_inMenu) {
        // A command that ends the dialog must not run under the menu.
        m_deferredCommands.push_back(command);
        return true;
    }
    m_dialog.OnSysCommand(command);
    SyncSystemMenu();
    return true;
}

void DialogWindow::OnDestroy() {
    HWND hwnd = Handle();
    if (!m_ending) {
        // Ended without EndDialog (WM_QUIT ends the box's loop).
        m_ending = true;
        m_dialog.OnEnding();
    }
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        Control& control = m_controls[i];
        if (control.refreshDue) {
            KillTimer(hwnd, kProgressTimerBase + i);
            control.refreshDue = false;
        }
        if (control.hwnd == nullptr) {
            continue;
        }
        if (const HANDLE smoothed = RemovePropW(control.hwnd, kSmoothedImage)) {
            DeleteObject(smoothed);
        }
        if (ShowsText(control.source->kind)) {
            control.text = WindowTextUtf8(control.hwnd);
        }
        control.enabled = IsWindowEnabled(control.hwnd) != FALSE;
        control.visible = (GetWindowLongPtrW(control.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
        control.hwnd = nullptr;
        control.toolAdded = false;
    }
    // Owned by the box: it goes with it.
    m_toolTip = nullptr;
    std::vector<DialogWindow*>& running = RunningBoxes();
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    if (g_mainWindow == hwnd) {
        g_mainWindow = nullptr;
    }
    m_inMenu = false;
    m_deferredCommands.clear();
    m_menuMirrored = 0;
}

// The platform's half of Dialog: dialog.cpp holds the shared half.

Dialog::Dialog(const DialogTemplate& dialogTemplate, Dialog* parent)
    : m_template(dialogTemplate), m_items(std::make_unique<ThreadSafeItems>(*this)) {
    if ((m_template.style & kDialogSysMenu) != 0) {
        m_menu = std::make_unique<WindowMenu>([this](int id) { OnSysCommand(id); });
    }
    m_window = std::make_unique<DialogWindow>(*this, m_template, parent);
}

Dialog::~Dialog() = default;

int Dialog::DoModal() {
    return m_window->RunModal([this] { return OnInitDialog(); });
}

void Dialog::EndDialog(int result) {
    m_window->End(result);
}

Dialog* Dialog::ActiveModal() {
    DialogWindow* window = DialogWindow::ActiveModal();
    return window != nullptr ? &window->Owner() : nullptr;
}

bool Dialog::IsOpen() const {
    return m_window->IsOpen();
}

bool Dialog::IsActive() const {
    return m_window->IsActive();
}

void Dialog::CloseWindow() {
    m_window->Close();
}

void Dialog::Minimize() {
    m_window->Minimize();
}

bool Dialog::HasItem(int id) const {
    return m_window->HasItem(id);
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    m_window->SetText(id, text);
}

std::string Dialog::GetDlgItemText(int id) const {
    return m_window->Text(id);
}

void Dialog::EnableItem(int id, bool enable) {
    m_window->Enable(id, enable);
}

bool Dialog::IsItemEnabled(int id) const {
    return m_window->IsEnabled(id);
}

void Dialog::ShowItem(int id, bool show) {
    m_window->Show(id, show);
}

bool Dialog::IsItemVisible(int id) const {
    return m_window->IsVisible(id);
}

void Dialog::FocusItem(int id, bool selectAll) {
    m_window->Focus(id, selectAll);
}

int Dialog::FocusedItem() const {
    return m_window->FocusedItem();
}

void Dialog::SetItemToolTip(int id, const std::string& text) {
    m_window->SetToolTip(id, text);
}

std::string Dialog::GetItemToolTip(int id) const {
    return m_window->ToolTip(id);
}

void Dialog::SetItemDescription(int id, const std::string& text) {
    m_window->SetDescription(id, text);
}

std::string Dialog::GetItemDescription(int id) const {
    return m_window->Description(id);
}

void Dialog::BindProgress(int id, ProgressCtrl& control) {
    m_window->BindProgress(id, control);
}

Dialog::ProgressShown Dialog::GetProgressShown(int id) const {
    return m_window->ProgressShown(id);
}

void Dialog::ClickItem(int id) {
    m_window->Click(id);
}

void Dialog::SetIcon(int iconResource) {
    m_window->SetIcon(iconResource);
}

bool Dialog::OpenWindowMenu() {
    return m_window->OpenWindowMenu();
}

void Dialog::ChooseWindowMenuEntry(int command) {
    m_window->ChooseWindowMenuEntry(command);
}

void Dialog::UnbindProgressBars() {
    m_window->UnbindProgressBars();
}
