// Control-port client of the reference account server.
#include "support/account_server_control.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/loopback_control.h"
#include "support/test_support.h"

unsigned short account_port() {
    return (unsigned short)port_from_env("ZANDOR_ACCOUNT_PORT");
}

std::string account_control(const std::string& line) {
    std::string reply;
    return loopback_exchange(port_from_env("ZANDOR_ACCOUNT_CONTROL"), line, &reply) ? reply : "";
}

static std::string answer_hex(const std::string& bytes) {
    return bytes.empty() ? "-" : to_hex(bytes);
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
