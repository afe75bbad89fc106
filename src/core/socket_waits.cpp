// The bounded socket waits: select in short steps, so that a stop is seen while waiting.
#include "core/socket_waits.h"

#include <windows.h>

void socket_bounds_start(SocketBounds* bounds, unsigned long limit_ms, const volatile long* stop) {
    bounds->deadline = GetTickCount() + limit_ms;
    bounds->stop = stop;
}

bool socket_stop_asked(const SocketBounds* bounds) {
    return bounds && bounds->stop && InterlockedCompareExchange((volatile LONG*)bounds->stop, 0, 0) != 0;
}

// What is left of the bounds' time, capped at cap_ms (0: over).
static unsigned long time_left(const SocketBounds* bounds, unsigned long cap_ms) {
    long left = (long)(bounds->deadline - GetTickCount());
    if (left <= 0) return 0;
    return (unsigned long)left < cap_ms ? (unsigned long)left : cap_ms;
}

// One select step of at most step_ms: 1 ready, 0 nothing yet, -1 failed.
static int select_step(SOCKET socket, bool for_writing, unsigned long step_ms) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval timeout = {(long)(step_ms / 1000), (long)((step_ms % 1000) * 1000)};
    int n = select(0, for_writing ? nullptr : &ready, for_writing ? &ready : nullptr, &failed, &timeout);
    if (n == SOCKET_ERROR) return -1;
    if (n == 0) return 0;
    if (for_writing && FD_ISSET(socket, &failed)) return -1;
    return 1;
}

bool socket_connect_bounded(SOCKET socket, const addrinfo* address, unsigned long connect_ms,
                            const SocketBounds* bounds) {
    u_long non_blocking = 1;
    if (ioctlsocket(socket, FIONBIO, &non_blocking) != 0) return false;
    bool connected = connect(socket, address->ai_addr, (int)address->ai_addrlen) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        DWORD started = GetTickCount();
        for (;;) {
            DWORD spent = GetTickCount() - started;
            unsigned long left = time_left(bounds, spent >= connect_ms ? 0 : connect_ms - spent);
            if (left == 0 || socket_stop_asked(bounds)) break;
            int ready = select_step(socket, true, left < SOCKET_STOP_LOOK_MS ? left : SOCKET_STOP_LOOK_MS);
            if (ready < 0) break;
            if (ready > 0) {
                int error = 0;
                int size = sizeof error;
                connected = getsockopt(socket, SOL_SOCKET, SO_ERROR, (char*)&error, &size) == 0 && error == 0;
                break;
            }
        }
    }
    u_long blocking = 0;
    return ioctlsocket(socket, FIONBIO, &blocking) == 0 && connected;
}

bool socket_wait_readable(SOCKET socket, const SocketBounds* bounds, unsigned long idle_ms) {
    if (socket_stop_asked(bounds) || time_left(bounds, 1) == 0) return false;
    // Bytes that have arrived need no select: asking the socket how many wait is far cheaper.
    u_long waiting = 0;
    if (ioctlsocket(socket, FIONREAD, &waiting) == 0 && waiting > 0) return true;
    DWORD started = GetTickCount();
    for (;;) {
        if (socket_stop_asked(bounds)) return false;
        unsigned long step = time_left(bounds, SOCKET_STOP_LOOK_MS);
        if (idle_ms > 0) {
            DWORD idle = GetTickCount() - started;
            if (idle >= idle_ms) return false;
            if (idle_ms - idle < step) step = idle_ms - idle;
        }
        if (step == 0) return false;
        int ready = select_step(socket, false, step);
        if (ready != 0) return ready > 0;
    }
}
