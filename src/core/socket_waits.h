// Bounded waits on a socket, shared by the account link and the update protocol: a connect that
// ends within its time and sees a stop, and a wait for bytes to read that ends at a deadline, after
// an idle time or at a stop. The stop flag is set by another thread with an interlocked exchange and
// read here with an interlocked call.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

// Stops are looked at this often while waiting.
#define SOCKET_STOP_LOOK_MS 250

// The bound of one wait or one exchange: the GetTickCount() value by which it must be over, and the
// flag that ends it early (null when nothing stops it).
struct SocketBounds {
    unsigned long deadline;
    const volatile long* stop;
};

// Bounds that end limit_ms from now; stop may be null.
void socket_bounds_start(SocketBounds* bounds, unsigned long limit_ms, const volatile long* stop);
// The stop flag is set.
bool socket_stop_asked(const SocketBounds* bounds);
// Starts a non-blocking connect to address and waits at most connect_ms (and not past the bounds'
// deadline, nor past a stop) for it to complete without error; the socket is blocking again
// afterwards. True when connected.
bool socket_connect_bounded(SOCKET socket, const addrinfo* address, unsigned long connect_ms,
                            const SocketBounds* bounds);
// Waits until the socket has bytes (or its end) to read; false when the deadline passes, the stop
// flag is set, the socket fails, or (with idle_ms above 0) nothing comes for idle_ms.
bool socket_wait_readable(SOCKET socket, const SocketBounds* bounds, unsigned long idle_ms);
