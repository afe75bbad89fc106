// One-line exchanges with the loopback control ports of the reference servers and the input agent.
#include "support/loopback_control.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdlib.h>

int port_from_env(const char* name) {
    const char* value = getenv(name);
    return value ? atoi(value) : 0;
}

bool loopback_exchange(int port, const std::string& line, std::string* answer) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        *answer = "no Winsock";
        return false;
    }
    *answer = "no connection";
    bool connected = false;
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock != INVALID_SOCKET && connect(sock, (sockaddr*)&address, sizeof address) == 0) {
        connected = true;
        std::string request = line + "\n";
        send(sock, request.data(), (int)request.size(), 0);
        answer->clear();
        char c;
        while (recv(sock, &c, 1, 0) == 1 && c != '\n') *answer += c;
    }
    if (sock != INVALID_SOCKET) closesocket(sock);
    WSACleanup();
    return connected;
}
