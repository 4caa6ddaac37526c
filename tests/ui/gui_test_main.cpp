#include <QApplication>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        unsetenv(name);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    return result;
}
