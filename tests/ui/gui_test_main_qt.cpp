#include <QApplication>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A session bus of the tests' own, where Debian's dbus-daemon is there: what
// the windows tell the desktop goes to it, and not to the desktop of whoever
// runs the tests. Returns the daemon's pid, or 0.
long StartPrivateSessionBus() {
    std::FILE* daemon =
        popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
    if (daemon == nullptr) {
        return 0;
    }
    char address[512] = "";
    long pid = 0;
    const bool started = std::fgets(address, sizeof address, daemon) != nullptr &&
                         std::fscanf(daemon, "%ld", &pid) == 1;
    pclose(daemon);
    if (!started) {
        return 0;
    }
    std::string value = address;
    value.erase(value.find_last_not_of("\r\n") + 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", value.c_str(), 1);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        unsetenv(name);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Without a bus of their own the tests use none at all.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    const long bus = StartPrivateSessionBus();
    QApplication application(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    if (bus > 0) {
        kill(static_cast<pid_t>(bus), SIGTERM);
    }
    return result;
}
