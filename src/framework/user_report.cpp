#include "framework/user_report.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "framework/failure_text.h"
#include "framework/texts.h"

namespace {

std::mutex g_reportMutex;
UserReport* g_report = nullptr;

}  // namespace

UserReport* SetUserReport(UserReport* report) {
    std::lock_guard lock(g_reportMutex);
    return std::exchange(g_report, report);
}

void Report(const Failure& failure) {
    UserReport* report = nullptr;
    {
        std::lock_guard lock(g_reportMutex);
        report = g_report;
    }
    if (report != nullptr) {
        report->Tell(failure);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", text::kAppTitle, Render(failure).c_str());
}
