#include <curl/curl.h>
#include <gtest/gtest.h>

#include "support/platform_files.h"

int main(int argc, char** argv) {
    // The tests talk to their own loopback server only; a proxy configured on
    // the machine must not reroute them.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        UnsetEnvironment(name);
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    return result;
}
