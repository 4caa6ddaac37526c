#include "support/loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <windows.h>

#include <algorithm>
#include <climits>

namespace {

SOCKET Handle(LoopbackSocket socket) {
    return static_cast<SOCKET>(socket);
}

// Winsock is started once for the whole process and left running: the test
// server may be made and stopped many times, also from static objects.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Not inheritable, as SOCK_CLOEXEC on POSIX: a child started meanwhile must
// not hold a connection open.
SOCKET NewSocket() {
    if (!WinsockStarted()) {
        return INVALID_SOCKET;
    }
    return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                      WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

// A socket bound to 127.0.0.1 at a port the system chose, stored in `port`.
// No SO_REUSEADDR: on Windows it would let another socket take the port.
SOCKET BindLoopback(int& port) {
    const SOCKET s = NewSocket();
    if (s == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

int Clamp(std::size_t length) {
    return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

}  // namespace

LoopbackSocket ListenOnLoopback(int& port) {
    const SOCKET s = BindLoopback(port);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    if (listen(s, 64) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    return static_cast<LoopbackSocket>(s);
}

LoopbackSocket AcceptConnection(LoopbackSocket listener) {
    const SOCKET s = accept(Handle(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    // Whether an accepted socket takes over the listener's flag is not
    // written down anywhere; set it.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<LoopbackSocket>(s);
}

bool WaitReadable(LoopbackSocket socket, int ms) {
    // POLLHUP and POLLERR come without being asked for.
    WSAPOLLFD p{};
    p.fd = Handle(socket);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, ms) > 0;
}

long ReceiveSome(LoopbackSocket socket, char* buffer, std::size_t length) {
    const int n = recv(Handle(socket), buffer, Clamp(length), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long SendSome(LoopbackSocket socket, const char* data, std::size_t length) {
    const int n = send(Handle(socket), data, Clamp(length), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

void ShutdownBoth(LoopbackSocket socket) {
    shutdown(Handle(socket), SD_BOTH);
    // Unlike on POSIX, shutdown is not said to end a send blocked in another
    // thread on a peer that does not read (under Wine it does not); cancelling
    // the socket's I/O makes that send fail.
    CancelIoEx(reinterpret_cast<HANDLE>(Handle(socket)), nullptr);
}

void ShutdownSending(LoopbackSocket socket) {
    shutdown(Handle(socket), SD_SEND);
}

void CloseSocket(LoopbackSocket socket) {
    if (socket != kNoSocket) {
        closesocket(Handle(socket));
    }
}

int UnusedLoopbackPort() {
    int port = 0;
    const SOCKET s = BindLoopback(port);
    if (s == INVALID_SOCKET) {
        return 0;
    }
    // Bound but not listening: a connection to it is refused until the
    // system hands the port out again.
    closesocket(s);
    return port;
}
