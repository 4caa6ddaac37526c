#include <windows.h>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "support/platform_files.h"
#include "widgets/win32/com_apartment_win32.h"

int main(int argc, char** argv) {
    // The tests talk to their own loopback server only.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        UnsetEnvironment(name);
    }
    // As the program's own thread: the shell's choosers and the taskbar are
    // COM objects of it.
    const ComApartment com;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    return result;
}
