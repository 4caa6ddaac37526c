#include "widgets/message_boxes.h"

#include "framework/failure_text.h"
#include "framework/user_report.h"
#include "widgets/ui_thread.h"

namespace {

std::function<void(const std::string&)> g_workerBoxHook;

// What the layers below report is shown as every other box is.
class BoxReport final : public UserReport {
  public:
    void Tell(const Failure& failure) override { ShowMessageBox(Render(failure)); }
};
BoxReport g_boxReport;

}  // namespace

void SetWorkerBoxHook(std::function<void(const std::string& text)> hook) {
    g_workerBoxHook = std::move(hook);
}

MessageBoxHandler ShownOnUiThread(MessageBoxHandler present) {
    return [present = std::move(present)](const std::string& message) {
        const bool fromWorker = !IsUiThread();
        RunOnUiThread([&] {
            if (fromWorker && g_workerBoxHook) {
                g_workerBoxHook(message);
            }
            present(message);
        });
    };
}

void ReportInMessageBoxes() {
    SetUserReport(&g_boxReport);
}
