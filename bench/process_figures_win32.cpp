#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include "process_figures.h"

long ReadPeakRssKb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

void ResetPeakRss() {}

void ChooseDevice(const std::string&) {}

// Windows counts what a process writes, not what reaches the device.
long long ReadWrittenBytes() {
    return -1;
}

// Flushing a volume needs an administrator; each part and the installer
// are flushed by the program itself anyway.
void SyncDisks() {}
