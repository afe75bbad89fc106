// One account exchange ends within its limit whatever the peer does: a peer that sends a byte every
// two seconds (so that no receive ever times out) is left after the exchange's 60 s, and a stop
// ends the exchange soon after it is set.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "account/link_exchange.h"

namespace {

const char NO_ANSWER[] = "zandor did not answer. Please try again later.";

// A listening socket on a free loopback port; each accepted connection gets a byte every two seconds
// and never a line end, for up to three minutes.
struct TricklingPeer {
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
};

DWORD WINAPI trickle_one(void* context) {
    SOCKET connection = (SOCKET)(UINT_PTR)context;
    for (int i = 0; i < 90; i++) {
        if (send(connection, "S", 1, 0) != 1) break;
        Sleep(2000);
    }
    closesocket(connection);
    return 0;
}

DWORD WINAPI accept_all(void* context) {
    TricklingPeer* peer = (TricklingPeer*)context;
    for (;;) {
        SOCKET connection = accept(peer->listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return 0;
        HANDLE thread = CreateThread(nullptr, 0, trickle_one, (void*)(UINT_PTR)connection, 0, nullptr);
        if (thread) CloseHandle(thread);
    }
}

bool start_peer(TricklingPeer* peer) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    peer->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (peer->listener == INVALID_SOCKET || bind(peer->listener, (sockaddr*)&address, sizeof address) != 0 ||
        listen(peer->listener, 4) != 0 || getsockname(peer->listener, (sockaddr*)&address, &size) != 0) {
        return false;
    }
    peer->port = ntohs(address.sin_port);
    HANDLE thread = CreateThread(nullptr, 0, accept_all, peer, 0, nullptr);
    if (thread) CloseHandle(thread);
    return thread != nullptr;
}

struct TimedExchange {
    unsigned short port;
    volatile long stop;
    bool ok;
    AccountReply reply;
    DWORD elapsed_ms;
};

DWORD WINAPI run_exchange(void* context) {
    TimedExchange* e = (TimedExchange*)context;
    char answer[256];
    DWORD start = GetTickCount();
    e->ok = link_exchange("127.0.0.1", e->port, "REQUEST\tx", answer, sizeof answer, &e->reply, &e->stop);
    e->elapsed_ms = GetTickCount() - start;
    return 0;
}

}  // namespace

TEST(LinkDeadline, ATricklingPeerIsLeftAfterTheLimitAndAStopEndsTheExchangeSooner) {
    TricklingPeer peer;
    ASSERT_TRUE(start_peer(&peer));
    TimedExchange unbounded = {}, stopped = {};
    unbounded.port = stopped.port = peer.port;
    HANDLE threads[2] = {CreateThread(nullptr, 0, run_exchange, &unbounded, 0, nullptr),
                         CreateThread(nullptr, 0, run_exchange, &stopped, 0, nullptr)};
    ASSERT_TRUE(threads[0] && threads[1]);
    Sleep(3000);
    InterlockedExchange(&stopped.stop, 1);
    EXPECT_EQ(WaitForSingleObject(threads[1], 30000), WAIT_OBJECT_0) << "the stop was not seen";
    // The limit is 60 s; the rest is room for a loaded machine.
    EXPECT_EQ(WaitForSingleObject(threads[0], 120000), WAIT_OBJECT_0) << "the exchange went on past its limit";
    EXPECT_LT(stopped.elapsed_ms, unbounded.elapsed_ms);
    for (const TimedExchange* e : {&unbounded, &stopped}) {
        EXPECT_FALSE(e->ok);
        EXPECT_FALSE(e->reply.answered);
        EXPECT_STREQ(e->reply.error_code, "no_connection");
        EXPECT_STREQ(e->reply.message, NO_ANSWER);
    }
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    closesocket(peer.listener);
}
