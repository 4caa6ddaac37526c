// What the program tells a Windows desktop: a balloon from a notification
// area icon that lives only as long as its balloon, and the progress on the
// taskbar button of the main window.

#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/resource_ids.h"
#include "framework/texts.h"
#include "widgets/desktop_notice.h"
#include "widgets/ui_thread.h"
#include "widgets/win32/com_apartment_win32.h"
#include "widgets/win32/controls_win32.h"
#include "widgets/win32/image_resources_win32.h"
#include "widgets/win32/main_window_win32.h"

using dialog_win32::WideFromUtf8;

namespace {

constexpr wchar_t kNoticeWindowClass[] = L"VelmoraQuindleNotice";
constexpr UINT kIconCallback = WM_APP + 1;
constexpr UINT kIconId = 1;

// Cut to the field's size, never between the two halves of a surrogate pair.
template <std::size_t N>
void CopyCut(wchar_t (&field)[N], const std::wstring& text) {
    std::size_t length = std::min(text.size(), N - 1);
    if (length > 0 && length < text.size() && IS_HIGH_SURROGATE(text[length - 1])) {
        --length;
    }
    std::memcpy(field, text.data(), length * sizeof(wchar_t));
    field[length] = L'\0';
}

// The icon in the notification area, there while its balloon is: the shell
// says when the balloon has gone (timed out, closed or clicked). Shells that
// never say keep it until the program ends. User-interface thread only.
class TrayNotice {
  public:
    ~TrayNotice() { Remove(); }

    void Show(const std::wstring& title, const std::wstring& body) {
        NOTIFYICONDATAW data = Data();
        if (data.hWnd == nullptr) {
            return;
        }
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
        data.uCallbackMessage = kIconCallback;
        data.hIcon = LoadIconResource(res::IDR_MAINFRAME, GetSystemMetrics(SM_CXSMICON));
        if (data.hIcon == nullptr) {
            data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        }
        CopyCut(data.szTip, WideFromUtf8(text::kAppTitle));
        CopyCut(data.szInfoTitle, title);
        CopyCut(data.szInfo, body);
        data.dwInfoFlags = NIIF_INFO;
        // A second notice while the first shows takes its place.
        if (m_shown && Shell_NotifyIconW(NIM_MODIFY, &data)) {
            return;
        }
        m_shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    }

    void Remove() {
        if (!m_shown) {
            return;
        }
        NOTIFYICONDATAW data = Data();
        Shell_NotifyIconW(NIM_DELETE, &data);
        m_shown = false;
    }

  private:
    NOTIFYICONDATAW Data() {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = Window();
        data.uID = kIconId;
        return data;
    }

    HWND Window() {
        if (m_window == nullptr) {
            const HINSTANCE instance = GetModuleHandleW(nullptr);
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = NoticeProc;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = kNoticeWindowClass;
            RegisterClassExW(&windowClass);
            m_window = CreateWindowExW(0, kNoticeWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, instance, nullptr);
        }
        return m_window;
    }

    static LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    bool m_shown = false;
};

TrayNotice& Tray() {
    static TrayNotice tray;
    return tray;
}

LRESULT CALLBACK TrayNotice::NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kIconCallback) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // The event is the low word, whichever version of the callback the
    // shell speaks.
    switch (LOWORD(lParam)) {
        case NIN_BALLOONTIMEOUT:
        case NIN_BALLOONHIDE:
            Tray().Remove();
            break;
        case NIN_BALLOONUSERCLICK:
        case WM_LBUTTONUP:
            // The user came for the window the notice was about.
            Tray().Remove();
            BringUpMainWindow();
            break;
        default:
            break;
    }
    return 0;
}

// The taskbar's button list, made once on the user-interface thread and kept
// with its apartment.
class TaskbarProgress {
  public:
    ~TaskbarProgress() {
        if (m_list != nullptr) {
            m_list->Release();
        }
    }

    void Show(HWND window, double progress, bool visible) {
        if (!visible && m_list == nullptr) {
            return;
        }
        ITaskbarList3* list = List();
        if (list == nullptr) {
            return;
        }
        if (!visible) {
            list->SetProgressState(window, TBPF_NOPROGRESS);
            return;
        }
        constexpr ULONGLONG kSteps = 1000;
        const double fraction = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
        list->SetProgressState(window, TBPF_NORMAL);
        list->SetProgressValue(window, static_cast<ULONGLONG>(std::llround(fraction * kSteps)),
                               kSteps);
    }

  private:
    ITaskbarList3* List() {
        if (m_list == nullptr && !m_failed) {
            m_failed = true;
            if (!m_com.Usable()) {
                return nullptr;
            }
            ITaskbarList3* list = nullptr;
            if (FAILED(CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                        __uuidof(ITaskbarList3),
                                        reinterpret_cast<void**>(&list)))) {
                return nullptr;
            }
            if (FAILED(list->HrInit())) {
                list->Release();
                return nullptr;
            }
            m_list = list;
            m_failed = false;
        }
        return m_list;
    }

    ComApartment m_com;
    ITaskbarList3* m_list = nullptr;
    bool m_failed = false;
};

}  // namespace

void SendDesktopNotification(const std::string& summary, const std::string& body) {
    // The icon's window and its messages are the user-interface thread's.
    if (!IsUiThread()) {
        PostToUiThread([summary, body] { SendDesktopNotification(summary, body); });
        return;
    }
    // A balloon shows plain text: the body as it stands.
    Tray().Show(WideFromUtf8(summary), WideFromUtf8(body));
}

void ShowTaskbarProgress(const std::string& desktopId, double progress, bool visible) {
    // Windows finds the button by the window, not by the launcher.
    (void)desktopId;
    if (!IsUiThread()) {
        PostToUiThread([progress, visible] { ShowTaskbarProgress({}, progress, visible); });
        return;
    }
    const HWND main = MainWindow();
    if (main == nullptr) {
        return;
    }
    static TaskbarProgress taskbar;
    taskbar.Show(main, progress, visible);
}
