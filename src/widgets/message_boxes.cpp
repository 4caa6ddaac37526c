#include "widgets/message_boxes.h"

#include "widgets/ui_thread.h"

namespace {

std::function<void(const std::string&)> g_workerBoxHook;

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
