// The checks on what a server sends: the download host taken from the site
// list, and the names that become folders and files. No host but the two
// known ones may come out; no accepted name may lead outside its folder.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalogue/download_hosts.h"
#include "catalogue/server_names.h"
#include "framework/build_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string host = CheckedDownloadHost(input);
    if (host != config::kPrimaryDownloadHost && host != config::kAlternateDownloadHost) {
        std::abort();
    }
    if (host == config::kAlternateDownloadHost && input != config::kAlternateDownloadHost) {
        std::abort();
    }

    if (IsPlainFileName(input)) {
        const std::filesystem::path folder = "/package/7.0";
        const std::filesystem::path joined = (folder / input).lexically_normal();
        if (joined.parent_path() != folder || joined.filename() != input) {
            std::abort();
        }
        for (const unsigned char c : input) {
            if (c < 0x20 || c == 0x7f || c == '\\') {
                std::abort();
            }
        }
    }
    return 0;
}
