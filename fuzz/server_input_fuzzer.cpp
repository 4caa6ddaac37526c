// The checks on what a server sends: the download host taken from the site
// list, the names that become folders and files, the texts a message shows,
// the trusted comment and the order of versions. No host but the two known
// ones may come out; no accepted name may lead outside its folder; a name's
// key is stable; no shown text may hold a control character; a trusted
// comment reads back as it was written.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalogue/download_hosts.h"
#include "catalogue/server_names.h"
#include "catalogue/signed_versions.h"
#include "framework/build_config.h"
#include "framework/shown_text.h"

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
    if (IsPortableFileName(input) && (!IsPlainFileName(input) || !IsValidUtf8(input))) {
        std::abort();
    }
    // One key for one name: taking the key of a key changes nothing, and
    // names that differ only in ASCII case share it.
    const std::string key = NameKey(input);
    if (NameKey(key) != key) {
        std::abort();
    }
    std::string upper = input;
    for (char& c : upper) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (NameKey(upper) != key) {
        std::abort();
    }

    const std::string shown = ShownAsItStands(input);
    for (const unsigned char c : shown) {
        if (c < 0x20 || c == 0x7f) {
            std::abort();
        }
    }
    if (shown.find("\xE2\x80\xAE") != std::string::npos) {
        std::abort();  // a right-to-left override came through
    }

    SignedRelease release;
    if (ParseReleaseComment(input, release) && ReleaseComment(release) != input) {
        std::abort();
    }
    return 0;
}
