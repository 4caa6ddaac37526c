// Serves a folder over HTTP on 127.0.0.1 with the tests' server, for the demo
// and for trying the program by hand. It also answers as an HTTP proxy, so the
// program reaches it through http_proxy with its real host names.
//
//   velmora_test_server ROOT [BYTES_PER_SECOND]
//
// Prints "127.0.0.1:PORT" on its first line, then serves until stopped.

#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "support/test_http_server.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ROOT [BYTES_PER_SECOND]\n", argv[0]);
        return 64;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TestHttpServer server(argv[1]);
    if (argc > 2) {
        server.SetRateLimit(std::strtoul(argv[2], nullptr, 10));
    }
    std::printf("%s\n", server.Address().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    return 0;
}
