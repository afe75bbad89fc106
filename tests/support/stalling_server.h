// A server on loopback that accepts every connection and answers nothing: each connection is held
// for hold_ms and then closed. Account and update exchanges against it wait until then.
#pragma once

#include <winsock2.h>
#include <windows.h>

struct StallingServer {
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    unsigned long hold_ms = 0;
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
    volatile LONG accepted = 0;
};

// Starts listening on a free port; false when it could not.
bool start_stalling_server(StallingServer* server, unsigned long hold_ms);
// Closes what it holds and stops.
void stop_stalling_server(StallingServer* server);
