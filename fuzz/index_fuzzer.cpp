// PackageIndex::Load on arbitrary bytes. Whatever it reads must survive a
// save and a second load unchanged, and nothing may crash or leak.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/package_index.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string path = "/tmp/velmora-index-fuzz-" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return folder;
}

bool Same(const PackageIndex& a, const PackageIndex& b) {
    if (a.m_productVersion != b.m_productVersion || a.m_partSize != b.m_partSize ||
        a.m_parts.size() != b.m_parts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.m_parts.size(); ++i) {
        if (a.m_parts[i].m_name != b.m_parts[i].m_name ||
            a.m_parts[i].m_done != b.m_parts[i].m_done) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = Folder() + "/input.txt";
    std::FILE* file = std::fopen(input.c_str(), "wb");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    PackageIndex index;
    auto error = static_cast<IndexLoadError>(-1);
    if (!index.Load(input, error)) {
        if (error != CannotOpen && error != Incompatible && error != Malformed) {
            std::abort();  // a failure always has a reason
        }
        return 0;
    }
    if (index.FirstUnfinishedPart() < 0 ||
        index.FirstUnfinishedPart() > static_cast<int>(index.m_parts.size())) {
        std::abort();
    }
    // What was read is what is saved is what is read again, except that the
    // resaved file no longer carries what stood after the last flag. Names and
    // the version can only round-trip when a line holds them whole.
    for (const PackagePart& part : index.m_parts) {
        if (part.m_name.size() >= 1023) {
            return 0;
        }
    }
    if (index.m_productVersion.size() >= 1023 || !index.SaveAs(Folder() + "/saved.txt")) {
        return 0;
    }
    PackageIndex again;
    if (!again.Load(Folder() + "/saved.txt", error) || !Same(index, again)) {
        std::abort();
    }
    return 0;
}
