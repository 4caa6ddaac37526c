#include "framework/file_hash.h"

#include <vector>

bool HashFileContents(const FileHandle& file, Sha256& hash, const std::atomic<int>* cancel) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0) {
            return false;
        }
        std::size_t got = 0;
        if (!ReadSome(file, buffer.data(), buffer.size(), got)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        hash.Update(buffer.data(), got);
    }
}

bool HashOwnFile(const OwnFolder& folder, const std::string& name, Sha256& hash,
                 const std::atomic<int>* cancel) {
    const FileHandle file = OpenOwnFileForReading(folder, name);
    return file.IsOpen() && HashFileContents(file, hash, cancel);
}
