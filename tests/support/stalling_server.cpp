// The stalling server's thread: accepts, holds, closes.
#include "support/stalling_server.h"

namespace {

const int HELD_CAP = 16;

struct Held {
    SOCKET socket;
    DWORD since;
};

}  // namespace

static DWORD WINAPI stalling_thread(void* context) {
    auto* server = (StallingServer*)context;
    Held held[HELD_CAP];
    int count = 0;
    while (!InterlockedCompareExchange(&server->stop, 0, 0)) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(server->listener, &readable);
        timeval wait = {0, 50000};
        if (select(0, &readable, nullptr, nullptr, &wait) > 0 && count < HELD_CAP) {
            SOCKET peer = accept(server->listener, nullptr, nullptr);
            if (peer != INVALID_SOCKET) {
                held[count++] = {peer, GetTickCount()};
                InterlockedIncrement(&server->accepted);
            }
        }
        for (int i = 0; i < count;) {
            if (GetTickCount() - held[i].since >= server->hold_ms) {
                closesocket(held[i].socket);
                held[i] = held[--count];
            } else {
                i++;
            }
        }
    }
    for (int i = 0; i < count; i++) closesocket(held[i].socket);
    return 0;
}

bool start_stalling_server(StallingServer* server, unsigned long hold_ms) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    server->hold_ms = hold_ms;
    server->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (server->listener == INVALID_SOCKET || bind(server->listener, (sockaddr*)&address, sizeof address) != 0 ||
        listen(server->listener, 8) != 0 || getsockname(server->listener, (sockaddr*)&address, &size) != 0) {
        return false;
    }
    server->port = ntohs(address.sin_port);
    server->stop = 0;
    server->thread = CreateThread(nullptr, 0, stalling_thread, server, 0, nullptr);
    return server->thread != nullptr;
}

void stop_stalling_server(StallingServer* server) {
    InterlockedExchange(&server->stop, 1);
    if (server->thread) {
        WaitForSingleObject(server->thread, 5000);
        CloseHandle(server->thread);
        server->thread = nullptr;
    }
    if (server->listener != INVALID_SOCKET) closesocket(server->listener);
    server->listener = INVALID_SOCKET;
    WSACleanup();
}
