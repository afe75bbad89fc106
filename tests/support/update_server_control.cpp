// Control connection to the reference update server.
#include "support/update_server_control.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <stdlib.h>

#include <vector>

#include "core/codecs.h"

static int port_from(const char* name) {
    const char* value = getenv(name);
    return value ? atoi(value) : 0;
}

int update_server_port() {
    return port_from("ZANDOR_UPDATE_PORT");
}

std::string update_server_command(const std::string& line) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return "no Winsock";
    std::string answer = "no connection";
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port_from("ZANDOR_UPDATE_CONTROL_PORT"));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock != INVALID_SOCKET && connect(sock, (sockaddr*)&address, sizeof address) == 0) {
        std::string request = line + "\n";
        send(sock, request.data(), (int)request.size(), 0);
        answer.clear();
        char c;
        while (recv(sock, &c, 1, 0) == 1 && c != '\n') answer += c;
    }
    if (sock != INVALID_SOCKET) closesocket(sock);
    WSACleanup();
    return answer;
}

std::string base64_of(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0) out += alphabet[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

std::string bytes_of_base64(const std::string& text) {
    std::vector<uint8_t> bytes(text.size());
    long n = base64_decode(text.c_str(), bytes.data(), bytes.size());
    return n < 0 ? std::string("<bad base64>") : std::string((const char*)bytes.data(), (size_t)n);
}

std::string update_server_record() {
    std::string answer = update_server_command("RECORD");
    return answer.size() >= 3 ? bytes_of_base64(answer.substr(3)) : answer;
}
