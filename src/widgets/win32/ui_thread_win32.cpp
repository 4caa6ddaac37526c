// Calls carried to the user-interface thread on Windows: a hidden
// message-only window of that thread receives them as posted messages, so
// that every message loop of the thread (its own, a dialog's, a box's, a
// menu's) runs them, and owns the timers.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "widgets/ui_thread.h"
#include "widgets/ui_thread_platform.h"
#include "widgets/win32/ui_thread_win32.h"

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoraQuindleUiCalls";

// lParam: the function to run.
constexpr UINT kRunQueued = WM_APP + 1;
// wParam: milliseconds; lParam: a std::function<void()> from new, which the
// window owns from then on.
constexpr UINT kStartLater = WM_APP + 2;

std::mutex g_bindMutex;
std::atomic<HWND> g_window{nullptr};
std::atomic<DWORD> g_uiThread{0};

// The timers of the hidden window; touched on the user-interface thread
// only. Numbers are never reused, so a WM_TIMER still queued for a timer
// that has stopped finds nothing.
struct Timers {
    UINT_PTR lastId = 0;
    std::map<UINT_PTR, std::unique_ptr<std::function<void()>>> later;
    std::map<UINT_PTR, const std::function<void()>*> repeating;

    UINT_PTR NewId() {
        if (++lastId == 0) {
            ++lastId;
        }
        return lastId;
    }
};

Timers& UiTimers() {
    static Timers timers;
    return timers;
}

bool OnBoundUiThread() {
    const DWORD ui = g_uiThread.load();
    return ui != 0 && ui == GetCurrentThreadId();
}

void StartLater(int ms, std::unique_ptr<std::function<void()>> call) {
    Timers& timers = UiTimers();
    const UINT_PTR id = timers.NewId();
    timers.later[id] = std::move(call);
    if (SetTimer(g_window.load(), id, static_cast<UINT>(std::max(ms, 0)), nullptr) == 0) {
        timers.later.erase(id);
    }
}

void OnTimer(HWND window, UINT_PTR id) {
    Timers& timers = UiTimers();
    if (auto later = timers.later.find(id); later != timers.later.end()) {
        KillTimer(window, id);
        const std::unique_ptr<std::function<void()>> call = std::move(later->second);
        timers.later.erase(later);
        (*call)();
        return;
    }
    if (auto repeating = timers.repeating.find(id); repeating != timers.repeating.end()) {
        // A copy: the handler may stop or destroy its own timer.
        const std::function<void()> tick = *repeating->second;
        tick();
    }
}

LRESULT CALLBACK UiCallsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunQueued:
            reinterpret_cast<void (*)()>(lParam)();
            return 0;
        case kStartLater:
            StartLater(static_cast<int>(wParam),
                       std::unique_ptr<std::function<void()>>(
                           reinterpret_cast<std::function<void()>*>(lParam)));
            return 0;
        case WM_TIMER:
            OnTimer(window, static_cast<UINT_PTR>(wParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The calling thread becomes the user-interface thread unless one is bound.
bool BindIfUnbound() {
    return g_uiThread.load() != 0 || BindUiThread();
}

}  // namespace

bool BindUiThread() {
    std::lock_guard lock(g_bindMutex);
    if (g_uiThread.load() != 0) {
        return true;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = UiCallsProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    const HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance, nullptr);
    if (window == nullptr) {
        return false;
    }
    // The window first: a thread that sees the binding posts to it at once.
    g_window.store(window);
    g_uiThread.store(GetCurrentThreadId());
    return true;
}

void WakeUiThread(void (*run)()) {
    PostMessageW(g_window.load(), kRunQueued, 0, reinterpret_cast<LPARAM>(run));
}

bool IsUiThread() {
    const DWORD ui = g_uiThread.load();
    return ui == 0 || ui == GetCurrentThreadId();
}

void RunLater(int ms, std::function<void()> call) {
    if (!BindIfUnbound()) {
        return;
    }
    auto heap = std::make_unique<std::function<void()>>(std::move(call));
    if (OnBoundUiThread()) {
        StartLater(ms, std::move(heap));
        return;
    }
    // A timer belongs to the thread of its window: it is set there.
    if (PostMessageW(g_window.load(), kStartLater, static_cast<WPARAM>(std::max(ms, 0)),
                     reinterpret_cast<LPARAM>(heap.get()))) {
        heap.release();
    }
}

// Started and stopped on the user-interface thread, as the window's timers
// must be.
struct RepeatingTimer::Platform {
    std::function<void()> onTick;
    UINT_PTR id = 0;  // while started
};

RepeatingTimer::RepeatingTimer(std::function<void()> onTick)
    : m_platform(std::make_unique<Platform>()) {
    m_platform->onTick = std::move(onTick);
}

RepeatingTimer::~RepeatingTimer() {
    Stop();
}

void RepeatingTimer::Start(int intervalMs) {
    if (!BindIfUnbound() || !OnBoundUiThread()) {
        return;
    }
    Timers& timers = UiTimers();
    // Started again: the same timer with the new interval, counted afresh.
    if (m_platform->id == 0) {
        m_platform->id = timers.NewId();
    }
    timers.repeating[m_platform->id] = &m_platform->onTick;
    if (SetTimer(g_window.load(), m_platform->id, static_cast<UINT>(std::max(intervalMs, 0)),
                 nullptr) == 0) {
        Stop();
    }
}

void RepeatingTimer::Stop() {
    if (m_platform->id == 0) {
        return;
    }
    KillTimer(g_window.load(), m_platform->id);
    UiTimers().repeating.erase(m_platform->id);
    m_platform->id = 0;
}

bool RepeatingTimer::IsActive() const {
    return m_platform->id != 0;
}
