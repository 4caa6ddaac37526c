#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

int Fd(LoopbackSocket socket) {
    return static_cast<int>(socket);
}

// A socket bound to 127.0.0.1 at a port the system chose, stored in `port`.
int BindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LoopbackSocket ListenOnLoopback(int& port) {
    const int fd = BindLoopback(port);
    if (fd < 0) {
        return kNoSocket;
    }
    if (listen(fd, 64) != 0) {
        close(fd);
        return kNoSocket;
    }
    return fd;
}

LoopbackSocket AcceptConnection(LoopbackSocket listener) {
    const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? kNoSocket : fd;
}

bool WaitReadable(LoopbackSocket socket, int ms) {
    // POLLHUP and POLLERR come without being asked for.
    pollfd p{Fd(socket), POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

long ReceiveSome(LoopbackSocket socket, char* buffer, std::size_t length) {
    ssize_t n;
    do {
        n = recv(Fd(socket), buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long SendSome(LoopbackSocket socket, const char* data, std::size_t length) {
    ssize_t n;
    do {
        n = send(Fd(socket), data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

void ShutdownBoth(LoopbackSocket socket) {
    shutdown(Fd(socket), SHUT_RDWR);
}

void ShutdownSending(LoopbackSocket socket) {
    shutdown(Fd(socket), SHUT_WR);
}

void CloseSocket(LoopbackSocket socket) {
    if (socket != kNoSocket) {
        close(Fd(socket));
    }
}

int UnusedLoopbackPort() {
    int port = 0;
    const int fd = BindLoopback(port);
    if (fd < 0) {
        return 0;
    }
    // Bound but not listening: a connection to it is refused until the
    // system hands the port out again.
    close(fd);
    return port;
}
