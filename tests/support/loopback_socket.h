#pragma once

#include <cstddef>
#include <cstdint>

// The few socket calls the test server makes, over POSIX sockets or Winsock.
// Sockets made here are not handed down to child processes.

// A file descriptor on POSIX, a SOCKET on Windows (whose INVALID_SOCKET is
// also all ones).
using LoopbackSocket = std::intptr_t;
constexpr LoopbackSocket kNoSocket = -1;

// A socket listening on 127.0.0.1 at a port the system chose, which is stored
// in `port`; kNoSocket when that fails.
LoopbackSocket ListenOnLoopback(int& port);

// The next connection waiting on `listener`; kNoSocket when there is none.
LoopbackSocket AcceptConnection(LoopbackSocket listener);

// Whether within `ms` milliseconds the socket has something to read, has a
// connection to accept, or has been hung up on or failed (so that the next
// receive does not block).
bool WaitReadable(LoopbackSocket socket, int ms);

// The number of bytes received, 0 when the peer has finished sending, -1 on a
// failure. Blocks until there is something.
long ReceiveSome(LoopbackSocket socket, char* buffer, std::size_t length);

// The number of bytes sent, or -1 on a failure; a peer that has gone away
// gives -1, never a signal.
long SendSome(LoopbackSocket socket, const char* data, std::size_t length);

// Ends both directions, so that the peer sees the end and a send or receive
// blocked on the socket in another thread returns.
void ShutdownBoth(LoopbackSocket socket);

// Sends the end after what has been sent.
void ShutdownSending(LoopbackSocket socket);

void CloseSocket(LoopbackSocket socket);

// A port on 127.0.0.1 that nobody listens on at the moment of return, for
// a connection that must be refused; 0 when none could be found.
int UnusedLoopbackPort();
