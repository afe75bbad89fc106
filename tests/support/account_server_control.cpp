// Control-port client of the reference account server.
#include "support/account_server_control.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>
#include <stdlib.h>

static unsigned short port_from(const char* name) {
    const char* value = getenv(name);
    return value ? (unsigned short)atoi(value) : 0;
}

unsigned short account_port() {
    return port_from("ZANDOR_ACCOUNT_PORT");
}

std::string account_control(const std::string& line) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return "";
    std::string reply;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_from("ZANDOR_ACCOUNT_CONTROL"));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && connect(s, (sockaddr*)&address, sizeof address) == 0) {
        std::string out = line + "\n";
        send(s, out.data(), (int)out.size(), 0);
        char c;
        while (recv(s, &c, 1, 0) == 1 && c != '\n') reply += c;
    }
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return reply;
}

static std::string answer_hex(const std::string& bytes) {
    return bytes.empty() ? "-" : to_hex(bytes);
}

std::string to_hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

static std::string from_hex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += (char)strtoul(hex.substr(i, 2).c_str(), nullptr, 16);
    return out;
}

void push_answer(const std::string& behaviour, const std::string& answer) {
    ASSERT_EQ(account_control("PUSH " + behaviour + " " + answer_hex(answer)), "OK") << behaviour;
}

void push_behaviour(const std::string& behaviour) {
    ASSERT_EQ(account_control("PUSH " + behaviour), "OK") << behaviour;
}

void set_default_answer(const std::string& word, const std::string& answer) {
    ASSERT_EQ(account_control("DEFAULT " + word + " " + answer_hex(answer)), "OK");
}

void reset_account_server() {
    ASSERT_EQ(account_control("RESET"), "OK");
}

int exchange_count() {
    return atoi(account_control("COUNT").c_str());
}

SeenExchange seen_exchange(int k) {
    SeenExchange seen = {};
    std::string reply = account_control("LAST " + std::to_string(k));
    size_t a = reply.find(' '), b = reply.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos) return seen;
    seen.client_public = reply.substr(0, a);
    seen.client_nonce = reply.substr(a + 1, b - a - 1);
    std::string request = reply.substr(b + 1);
    seen.request_opened = request != "-";
    if (seen.request_opened) seen.request = from_hex(request);
    return seen;
}
