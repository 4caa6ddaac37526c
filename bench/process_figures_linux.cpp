#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>

#include "process_figures.h"

namespace {

// A number from one of the kernel's "key: value" files about this process.
long long ReadProcField(const char* file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stoll(line.substr(key.size()));
        }
    }
    return -1;
}

// The device's own count. The process's count (/proc/self/io) is no use
// here: it charges a one-byte write with the whole large folio it dirties,
// which grows with the file, though only a block goes to the disk.
std::string g_deviceStat;

}  // namespace

long ReadPeakRssKb() {
    return static_cast<long>(ReadProcField("/proc/self/status", "VmHWM:"));
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void ChooseDevice(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        g_deviceStat = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                       std::to_string(minor(st.st_dev)) + "/stat";
    }
}

long long ReadWrittenBytes() {
    std::ifstream in(g_deviceStat);
    long long field = 0;
    // The seventh number: sectors written, of 512 bytes.
    for (int i = 0; i < 7 && in >> field; ++i) {
    }
    return in ? field * 512 : -1;
}

void SyncDisks() {
    sync();
}
