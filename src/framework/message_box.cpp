#include "framework/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "framework/texts.h"

namespace {

std::mutex g_handlerMutex;
MessageBoxHandler g_handler;

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    return std::exchange(g_handler, std::move(handler));
}

void ShowMessageBox(const std::string& text) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        handler(text);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", text::kAppTitle, text.c_str());
}
