#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "support/wait.h"
#include "ui_events.h"
#include "widgets/dialog.h"
#include "widgets/ui_thread.h"

// Drives dialogs through the platform-free dialog layer only: what these
// helpers and the tests that use them do works against any window system.

// Runs `script` from the dialog's own event loop once it is open (a Win32
// dialog box shows itself only when its loop first finds nothing to do). A
// dialog the script left open (a failed assertion returns early) is
// cancelled; one that ended without opening fails the test. Returns what
// DoModal returned.
inline int RunModal(Dialog& dialog, const std::function<void()>& script) {
    bool ran = false;
    // A real timer, not a zero one: a zero timer is a posted event, and
    // processing events inside it skips the events queued behind it.
    RepeatingTimer whenOpen([&] {
        if (ran || !dialog.IsOpen()) {
            return;
        }
        ran = true;
        whenOpen.Stop();
        script();
        if (dialog.IsOpen()) {
            dialog.EndDialog(2);
        }
    });
    whenOpen.Start(1);
    const int result = dialog.DoModal();
    EXPECT_TRUE(ran) << "the dialog ended before it opened";
    return result;
}

// Runs `script` on the next modal dialog that opens, from inside its loop,
// once it shows; fails the test when none has within about a second.
template <typename T>
void OnNextModal(const std::function<void(T&)>& script, int triesLeft = 200) {
    RunLater(5, [script, triesLeft] {
        auto* dialog = dynamic_cast<T*>(Dialog::ActiveModal());
        if ((dialog == nullptr || !dialog->IsOpen()) && triesLeft > 0) {
            OnNextModal<T>(script, triesLeft - 1);
            return;
        }
        ASSERT_NE(dialog, nullptr) << "the expected dialog did not open";
        script(*dialog);
    });
}

// Runs `start`, answering each modal T that opens meanwhile with `answer`,
// or cancelling it without one; whether one opened.
template <typename T>
bool AnswerModals(const std::function<void()>& start, const std::function<void(T&)>& answer) {
    bool opened = false;
    RepeatingTimer watcher([&] {
        if (auto* dialog = dynamic_cast<T*>(Dialog::ActiveModal())) {
            opened = true;
            if (answer) {
                answer(*dialog);
            } else {
                dialog->EndDialog(2);
            }
        }
    });
    watcher.Start(5);
    start();
    return opened;
}

// Keeps the event loop running until `done` holds; fails the test, naming
// `what`, after a minute.
inline bool WaitUntil(const std::function<bool()>& done, const std::string& what) {
    return WaitFor(done, what, std::chrono::minutes(1), [] { ProcessUiEvents(); });
}

// Lets queued repaints and calls run, so controls show the latest state; a
// bar repaints at most once a frame, so this waits out a few frames.
inline void Settle() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < until) {
        ProcessUiEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Presses a control the way a user does; a disabled one does nothing.
inline void Click(Dialog& dialog, int id) {
    ASSERT_TRUE(dialog.HasItem(id)) << "no control " << id;
    if (dialog.IsItemEnabled(id)) {
        dialog.ClickItem(id);
    }
}
