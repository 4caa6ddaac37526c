#pragma once

// The phases of one timed download (the parts, then the join) and the line
// that reports them.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "engine/download_state.h"
#include "framework/headless_dialog_items.h"

using Clock = std::chrono::steady_clock;

// Notes when the join begins: the worker names it in control 1002.
struct Phases {
    Clock::time_point start;
    long long writtenAtStart = 0;
    long long writtenAtJoin = 0;
    std::atomic<bool> joinStarted{false};
    Clock::time_point joinStart;
    long downloadPeakKb = 0;
    // The preparation before the download (site list, index, checksums),
    // where it is timed; negative otherwise.
    double prepareSeconds = -1;

    void OnText(int id, const std::string& text);
};

class TimedItems : public HeadlessDialogItems {
  public:
    explicit TimedItems(Phases& phases) : m_phases(phases) {}
    void SetItemText(int id, const std::string& text) override {
        m_phases.OnText(id, text);
        HeadlessDialogItems::SetItemText(id, text);
    }

  private:
    Phases& m_phases;
};

// Prints the line of one timed download that ended at `end`, with the
// installer's size and the engine's own figure from `state`.
void Report(const char* mode, Phases& phases, Clock::time_point end, const DownloadState& state,
            int result);

// The same download through the real main window; where the build has one.
int RunWindow(int argc, char** argv, const std::string& folder, const std::string& proxy);
