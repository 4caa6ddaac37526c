#include "catalogue/download_hosts.h"

#include "framework/build_config.h"

std::string CheckedDownloadHost(const std::string& candidate) {
    if (candidate == config::kPrimaryDownloadHost || candidate == config::kAlternateDownloadHost) {
        return candidate;
    }
    return config::kPrimaryDownloadHost;
}
